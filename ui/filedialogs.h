#pragma once

#include <QString>

class QWidget;

namespace rux {

// The open and save dialogs behind a seam, so tests can choose a file
// without a dialog. Each returns the chosen file's full name, or an empty
// text when the user cancelled.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    // No filter, no title, no initial folder; `proposed` is offered as the
    // file name. A typed name of a file that does not exist is accepted.
    virtual QString openFile(QWidget *parent, const QString &proposed) = 0;
    // Adds `defaultSuffix` to a name typed without an extension; does not
    // ask before an existing file is chosen.
    virtual QString saveFile(QWidget *parent, const QString &proposed,
                             const QString &defaultSuffix) = 0;
};

// The toolkit's own dialogs.
class QtFileDialogs : public FileDialogs
{
public:
    QString openFile(QWidget *parent, const QString &proposed) override;
    QString saveFile(QWidget *parent, const QString &proposed, const QString &defaultSuffix) override;
};

// A name without an extension gets ".<suffix>".
QString withDefaultSuffix(const QString &fileName, const QString &suffix);

} // namespace rux
