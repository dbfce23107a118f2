#pragma once

#include <QString>

class QWidget;

namespace rux {

// The open and save dialogs, and the question a save may ask, behind a
// seam, so tests can answer them without a dialog. The file dialogs return
// the chosen file's full name, or an empty text when the user cancelled.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    // No filter, no title, no initial folder; `proposed` is offered as the
    // file name. A typed name of a file that does not exist is accepted.
    virtual QString openFile(QWidget *parent, const QString &proposed) = 0;
    // Adds `defaultSuffix` to a name typed without an extension; does not
    // ask before an existing file is chosen (the save asks replaceFile()).
    virtual QString saveFile(QWidget *parent, const QString &proposed,
                             const QString &defaultSuffix) = 0;
    // Asks before a save replaces an existing file: true to replace it.
    virtual bool replaceFile(QWidget *parent, const QString &fileName) = 0;
    // Asks before a save whether to write another encoding than the one
    // asked for, which cannot hold the text: true when the user agrees (the
    // button reading `agree`), false when they cancel.
    virtual bool saveInstead(QWidget *parent, const QString &question, const QString &agree) = 0;
};

// The toolkit's own dialogs.
class QtFileDialogs : public FileDialogs
{
public:
    QString openFile(QWidget *parent, const QString &proposed) override;
    QString saveFile(QWidget *parent, const QString &proposed, const QString &defaultSuffix) override;
    bool replaceFile(QWidget *parent, const QString &fileName) override;
    bool saveInstead(QWidget *parent, const QString &question, const QString &agree) override;
};

// The question asked before a save replaces `fileName`.
QString replaceQuestion(const QString &fileName);

// A name without an extension gets ".<suffix>".
QString withDefaultSuffix(const QString &fileName, const QString &suffix);

} // namespace rux
