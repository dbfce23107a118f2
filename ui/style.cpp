#include "ui/style.h"

#include "ui/program.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QMessageBox>
#include <QPalette>
#include <QStyleFactory>

namespace rux {

namespace {

QPalette slatePalette()
{
    QPalette p;
    const QColor face(0xd5, 0xdb, 0xe0);
    const QColor text(0x1f, 0x2a, 0x33);
    p.setColor(QPalette::Window, face);
    p.setColor(QPalette::Button, QColor(0xc3, 0xcc, 0xd4));
    p.setColor(QPalette::Base, QColor(0xfb, 0xfc, 0xfd));
    p.setColor(QPalette::AlternateBase, QColor(0xe8, 0xec, 0xef));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x4f, 0x6b, 0x80));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, QColor(0xf1, 0xf4, 0xf6));
    p.setColor(QPalette::Midlight, QColor(0xe2, 0xe7, 0xeb));
    p.setColor(QPalette::Mid, QColor(0x8d, 0x9a, 0xa5));
    p.setColor(QPalette::Dark, QColor(0x6a, 0x78, 0x84));
    p.setColor(QPalette::Shadow, QColor(0x3a, 0x44, 0x4c));
    p.setColor(QPalette::ToolTipBase, QColor(0xf4, 0xf6, 0xf8));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x8d, 0x9a, 0xa5));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x8d, 0x9a, 0xa5));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x8d, 0x9a, 0xa5));
    return p;
}

} // namespace

bool applyStyle(QApplication &app, const QString &resource)
{
    QFile sheet(resource);
    if (!sheet.open(QIODevice::ReadOnly)) {
        Program::instance().showError(
            QStringLiteral("Stil '%1' nicht gefunden").arg(styleName()));
        return false;
    }
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(fusion);
    app.setPalette(slatePalette());
    app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    return true;
}

QFont programFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

} // namespace rux
