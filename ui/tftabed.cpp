#include "ui/tftabed.h"

#include "db/adotable.h"
#include "db/tablename.h"
#include "base/failure.h"
#include "ui/clientscroll.h"
#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/dbnavigator.h"
#include "ui/program.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>

namespace rux {

Tftabed::Tftabed(AdoConnection *connection, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ftabed"));
    setWindowTitle(QStringLiteral("table ready to edit"));
    resize(750, 509);

    ADOTable1 = new AdoTable(connection, QStringLiteral("ADOTable1"), this);
    DataSource1 = new DataSource(this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource1->setDataSet(ADOTable1);

    DBGrid1 = new DataGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 8, 734, 465);
    DBGrid1->setDataSource(DataSource1);

    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(667, 479, 75, 25);

    DBNavigator1 = new DBNavigator(this);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setGeometry(8, 479, 530, 25);
    DBNavigator1->setGrid(DBGrid1);

    setTabOrder(DBGrid1, Button1);
    setTabOrder(Button1, DBNavigator1);

    connect(Button1, &QPushButton::clicked, this, guarded(this, &Tftabed::Button1Click));
    // On a screen smaller than the layout the client area scrolls.
    new ClientScroller(this, size());
}

Tftabed::~Tftabed() = default;

void Tftabed::editTable(const QString &tname)
{
    const QString name = tableNameFromBatch(tname);
    // Nobody could end the wait: an unattended run on a machine without a
    // screen would hang until it is killed.
    if (!Program::instance().hasScreen()) {
        throw Failure(QStringLiteral("Cannot edit table '%1': editing a table needs a screen, "
                                     "and this program runs without one (platform '%2').")
                          .arg(name, QGuiApplication::platformName()));
    }
    // Every edit_table shows the table it names, read afresh.
    ADOTable1->Close();
    ADOTable1->setTableName(name);
    ADOTable1->Open();
    waitmode = true;
    show();
    raise();
    activateWindow();
    DBGrid1->setFocus();
    // The grid fetches its rows when it is laid out, which on a busy
    // machine may come after this point; fetch the first rows now so that
    // the cursor stands on the first row whenever the table has one.
    if (DataSource1->rowCount() == 0 && DataSource1->canFetchMore(QModelIndex()))
        DataSource1->fetchMore(QModelIndex());
    if (DataSource1->rowCount() > 0)
        DBGrid1->setCurrentIndex(DataSource1->index(0, 0));

    // The wait sleeps in the event loop until the window is done with.
    if (waitmode) {
        QEventLoop loop;
        connect(this, &Tftabed::waitEnded, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void Tftabed::finish()
{
    waitmode = false;
    hide();
    Q_EMIT waitEnded();
    // Focus goes back to the main window, which runs its activation
    // handler now, inside this handler, before the waiting run goes on.
    if (m_focusReturn)
        m_focusReturn();
}

void Tftabed::Button1Click()
{
    DBGrid1->commitEditor();
    finish();
}

void Tftabed::endWait()
{
    waitmode = false;
    hide();
    Q_EMIT waitEnded();
}

void Tftabed::closeEvent(QCloseEvent *event)
{
    // Closing by the title bar or Alt+F4 ends the editing like the button.
    event->ignore();
    if (m_closing)
        return;
    m_closing = true;
    Program::instance().guard([this]() { Button1Click(); });
    m_closing = false;
}

} // namespace rux
