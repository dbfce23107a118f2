#pragma once

#include "exec/tableediting.h"

#include <QPushButton>
#include <QWidget>

#include <functional>

namespace rux {

class AdoConnection;
class AdoTable;
class DataGrid;
class DataSource;
class DBNavigator;

// The table editor window (`ftabed`): a data grid and a record navigator on
// one table, and a button that ends the editing. During a script run the
// runner waits in editTable() until the window is closed, however that
// happens; a changed row still pending is posted first, and when the engine
// refuses it the failure is shown and the window stays open.
class Tftabed : public QWidget, public TableEditing
{
    Q_OBJECT
public:
    explicit Tftabed(AdoConnection *connection, QWidget *parent = nullptr);
    ~Tftabed() override;

    // Hand editing: the table is closed, named, opened (failing before the
    // window shows), the window shown and given the focus, and the call
    // returns when the editing has ended.
    void editTable(const QString &tname) override;

    // The button's handler: posts a pending row, clears waitmode, hides
    // the window.
    void Button1Click();
    // Ends a wait without asking (the main window is closing).
    void endWait();

    // What hiding the window does to the focus: the main window is made
    // active (and so runs its activation handler).
    void setFocusReturn(std::function<void()> focusReturn) { m_focusReturn = std::move(focusReturn); }

    DataGrid *DBGrid1;
    QPushButton *Button1;
    DBNavigator *DBNavigator1;
    AdoTable *ADOTable1;
    DataSource *DataSource1;
    bool waitmode = false;

Q_SIGNALS:
    void waitEnded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void finish();
    std::function<void()> m_focusReturn;
    bool m_closing = false;
};

} // namespace rux
