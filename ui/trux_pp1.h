#pragma once

#include "exec/runlog.h"
#include "exec/runstop.h"
#include "script/scriptfile.h"
#include "ui/editorlines.h"
#include "ui/pathlabel.h"
#include "ui/scripteditor.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace rux {

class AdoConnection;
class AdoQuery;
class DataGrid;
class DataSource;
class FileDialogs;
class StringGrid;
class RunView;
class Tftabed;

// The main window (`rux_pp1`): opens a database and a script, holds the
// parameter grid, substitutes the parameters, runs the script and saves it.
// It keeps the window state the operations share (file names, run
// identifier, parameter count, the automatic-run flag). Handlers that the
// event loop calls are wrapped by the failure display; called from code
// (a click operation), their failures travel to the caller.
//
// A run in progress can be stopped (Esc, the stop button, closing the
// window); meanwhile the commands that would disturb it are off. Keys:
// F5 and Ctrl+Enter run the script, Ctrl+O opens one, Ctrl+S saves it.
class Trux_pp1 : public QWidget
{
    Q_OBJECT
public:
    explicit Trux_pp1(QWidget *parent = nullptr);
    ~Trux_pp1() override;

    // Window state, in this order, zero-initialised.
    bool autorun = false;
    QString run_id;
    QString sql_f_name;
    QString db_f_name;
    qint32 var_count = 0;

    void set_database();
    void set_sqlscript();
    void init_prj();
    void do_execute();

    void FormActivate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();

    // The command-line arguments after the program's own path.
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    void setTableEditor(Tftabed *ftabed) { m_ftabed = ftabed; }
    // Replaces the dialogs (tests choose files without them).
    void setFileDialogs(FileDialogs *dialogs);
    // A script run is in progress.
    bool running() const { return m_running; }
    // A run is in progress, or the unattended run substitutes before it.
    bool runInProgress() const { return m_running || m_unattended; }
    // Marks the lines of the batch that runs in the editor with a
    // background (the cursor and the text stay as they are), and shows the
    // time that passed. Called when the batch lasts: the windows repaint
    // during a long statement, or the run waits in the table editor.
    void showRunningBatch();
    // Stops the run in progress: its statement is interrupted, a table
    // editing it waits for ends, and the run ends as stopped. Nothing
    // happens when no run is in progress.
    void stopRun();
    // While a statement runs, only the input that stops the run reaches
    // its receiver: the stop button's, Esc in this window, and the request
    // to close it (which stops the run first).
    bool passesDuringStatement(QObject *receiver, QEvent *event) const;
    RunView *runView() const { return m_runView; }
    // The stop of the script runs, for what ends a run from outside.
    RunStop &runStop() { return m_stop; }
    // A signal (SIGTERM, SIGINT) ends the program: the run in progress,
    // already told, stops (a table editing it waits for ends), boxes that
    // wait for an answer close, and the program ends with 128 and the
    // signal's number.
    void endForSignal(int signalNumber);
    TextEncoding rememberedEncoding() const { return m_encoding; }
    ScriptLines &editorLines() { return m_lines; }

    QPushButton *Button1;
    PathLabel *Label2;
    QPushButton *Button2;
    PathLabel *Label3;
    ScriptEditor *Memo1;
    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    DataGrid *DBGrid1;
    QWidget *TabSheet2;
    StringGrid *StringGrid1;
    QPushButton *Button3;
    QPushButton *Button5;
    QPushButton *Button6;
    QCheckBox *CheckBox1;
    QPushButton *Button4;
    // In the corner of the page control: the run's status and its stop
    // button, shown while a run is in progress.
    QLabel *Label4;
    QPushButton *Button7;

    AdoConnection *access_con;
    AdoQuery *Query1;
    DataSource *DataSource1;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The end of a run in the run log, with the header first when the run
    // failed before it began.
    void logRunEnd(const QString &failure, int status, StopCause cause = StopCause::None);
    void makeKeys();
    // The commands that would disturb a run: off while it is in progress.
    void setCommandsEnabled(bool enabled);
    void endTableEditing();
    // Keeps the commands off until the returned guard goes.
    std::shared_ptr<void> commandsOff();
    // Inside the catch block of a failed run: the status says how it ended
    // and where.
    void showRunFailed();
    // What the last result holds, one sentence; empty when nothing is
    // worth saying.
    QString lastResultText();
    RunLog::Header runHeader() const;
    void chooseFolderOf(const QString &fileName);
    QString chooseOpenFile();
    bool argumentsHoldGo() const;
    // How a run and the substitution process pending events.
    std::function<void()> eventProcessing() const;

    QStringList m_arguments;
    Tftabed *m_ftabed = nullptr;
    std::unique_ptr<FileDialogs> m_ownDialogs;
    FileDialogs *m_dialogs = nullptr;
    QString m_openDialogName;
    QString m_saveDialogName;
    // The file whose script the editor holds (empty before the first load).
    QString m_scriptInEditor;
    TextEncoding m_encoding = TextEncoding::None;
    EditorLines m_lines;
    bool m_running = false;
    // The run started by GO is in progress.
    bool m_unattended = false;
    // An unattended run without a screen: nobody sees the windows or types
    // into them.
    bool m_unseen = false;
    bool m_activated = false;
    RunStop m_stop;
    RunView *m_runView = nullptr;
    QAction *m_executeKey = nullptr;
    QAction *m_openKey = nullptr;
    QAction *m_stopKey = nullptr;
    // What the last batch of the run did.
    BatchRecord m_lastBatch;
};

} // namespace rux
