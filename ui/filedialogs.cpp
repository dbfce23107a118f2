#include "ui/filedialogs.h"

#include "ui/boxes.h"
#include "ui/program.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QTreeView>

namespace rux {

namespace {

// Large enough that the file list shows its columns whole: the size, type
// and date columns are as wide as their longest usual texts, the name
// takes the rest.
void makeRoomy(QFileDialog &dialog)
{
    dialog.resize(760, 480);
    auto *list = dialog.findChild<QTreeView *>();
    if (!list)
        return;
    const QFontMetrics metrics = list->fontMetrics();
    const char *const widest[] = {"1023.9 KiB", "SQLite3 database", "31.12.2026 23:59"};
    int used = 0;
    for (int column = 1; column <= 3; ++column) {
        const int width = metrics.horizontalAdvance(QString::fromLatin1(widest[column - 1])) + 24;
        list->header()->resizeSection(column, width);
        used += width;
    }
    list->header()->resizeSection(0, qMax(200, list->viewport()->width() - used));
}

} // namespace

QString QtFileDialogs::openFile(QWidget *parent, const QString &proposed)
{
    QFileDialog dialog(parent);
    makeRoomy(dialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    if (execCentred(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

QString QtFileDialogs::saveFile(QWidget *parent, const QString &proposed, const QString &defaultSuffix)
{
    QFileDialog dialog(parent);
    makeRoomy(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    if (execCentred(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

QString replaceQuestion(const QString &fileName)
{
    return QStringLiteral("\"%1\" already exists.\nDo you want to replace it?")
        .arg(QDir::toNativeSeparators(fileName));
}

bool QtFileDialogs::replaceFile(QWidget *parent, const QString &fileName)
{
    return showBox(QMessageBox::Question, Program::instance().title(), replaceQuestion(fileName),
                   {QStringLiteral("Yes"), QStringLiteral("No")}, parent)
        == 0;
}

bool QtFileDialogs::saveInstead(QWidget *parent, const QString &question, const QString &agree)
{
    return showBox(QMessageBox::Question, Program::instance().title(), question,
                   {agree, QStringLiteral("Cancel")}, parent)
        == 0;
}

QString withDefaultSuffix(const QString &fileName, const QString &suffix)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    return fileName + u'.' + suffix;
}

} // namespace rux
