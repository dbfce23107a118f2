#include "ui/dbnavigator.h"

#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/program.h"

#include <QPushButton>

namespace rux {

namespace {

struct ButtonSpec
{
    const char *name;
    const char16_t *glyph;
    const char *tip;
};

constexpr ButtonSpec kButtons[] = {
    {"first", u"|\u25C0", "Erster Datensatz"},
    {"prior", u"\u25C0", "Vorheriger Datensatz"},
    {"next", u"\u25B6", "Nächster Datensatz"},
    {"last", u"\u25B6|", "Letzter Datensatz"},
    {"insert", u"+", "Datensatz einfügen"},
    {"delete", u"\u2212", "Datensatz löschen"},
    {"edit", u"\u25B2", "Datensatz bearbeiten"},
    {"post", u"\u2714", "Datensatz speichern"},
    {"cancel", u"\u2716", "Bearbeitung abbrechen"},
    {"refresh", u"\u21BB", "Daten aktualisieren"},
};

} // namespace

DBNavigator::DBNavigator(QWidget *parent) : QWidget(parent)
{
    constexpr int count = int(sizeof(kButtons) / sizeof(kButtons[0]));
    const int width = 530;
    for (int i = 0; i < count; ++i) {
        auto *b = new QPushButton(QString::fromUtf16(kButtons[i].glyph), this);
        b->setObjectName(QString::fromLatin1(kButtons[i].name));
        b->setToolTip(QString::fromUtf8(kButtons[i].tip));
        b->setFocusPolicy(Qt::NoFocus);
        const int left = i * width / count;
        const int right = (i + 1) * width / count;
        b->setGeometry(left, 0, right - left, 25);
        const QString name = b->objectName();
        connect(b, &QPushButton::clicked, this,
                [this, name]() { Program::instance().guard([this, name]() { act(name); }); });
    }
}

void DBNavigator::setGrid(DataGrid *grid)
{
    m_grid = grid;
}

QPushButton *DBNavigator::button(const QString &name) const
{
    return findChild<QPushButton *>(name);
}

void DBNavigator::moveTo(int row)
{
    DataSource *source = m_grid->dataSource();
    if (row < 0 || row >= source->rowCount())
        return;
    const int column = qMax(0, m_grid->currentIndex().column());
    m_grid->setCurrentIndex(source->index(row, column));
}

void DBNavigator::act(const QString &name)
{
    if (!m_grid || !m_grid->dataSource())
        return;
    DataSource *source = m_grid->dataSource();
    const int row = m_grid->currentIndex().row();
    if (name == QLatin1String("first")) {
        m_grid->moveToFirst();
    } else if (name == QLatin1String("prior")) {
        if (row == 0)
            m_grid->readRowsBefore();
        moveTo(m_grid->currentIndex().row() - 1);
    } else if (name == QLatin1String("next")) {
        while (row + 1 >= source->rowCount() && source->canFetchMore(QModelIndex()))
            source->fetchMore(QModelIndex());
        moveTo(row + 1);
    } else if (name == QLatin1String("last")) {
        m_grid->moveToLast();
    } else if (name == QLatin1String("insert")) {
        m_grid->commitEditor();
        source->insertAt(qMax(row, 0));
        moveTo(source->editRow());
        m_grid->setFocus();
    } else if (name == QLatin1String("delete")) {
        m_grid->confirmAndDeleteCurrent();
    } else if (name == QLatin1String("edit")) {
        if (source->canModify() && m_grid->currentIndex().isValid()) {
            m_grid->setFocus();
            m_grid->edit(m_grid->currentIndex());
        }
    } else if (name == QLatin1String("post")) {
        m_grid->commitEditor();
    } else if (name == QLatin1String("cancel")) {
        source->cancel();
    } else if (name == QLatin1String("refresh")) {
        m_grid->commitEditor();
        source->refresh();
    }
}

} // namespace rux
