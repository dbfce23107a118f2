#include "ui/trux_pp1.h"

#include "db/adoconnection.h"
#include "db/adoquery.h"
#include "db/connectionstring.h"
#include "db/keepalive.h"
#include "exec/cmdline.h"
#include "exec/failuretext.h"
#include "exec/runwatch.h"
#include "exec/scriptrunner.h"
#include "exec/tableediting.h"
#include "script/discovery.h"
#include "base/failure.h"
#include "script/paramcells.h"
#include "script/substitution.h"
#include "ui/clientscroll.h"
#include "ui/datagrid.h"
#include "ui/datasource.h"
#include "ui/filedialogs.h"
#include "ui/pathlabel.h"
#include "ui/program.h"
#include "ui/runview.h"
#include "ui/stringgrid.h"
#include "ui/tftabed.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

namespace rux {

namespace {

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

PathLabel *makeLabel(QWidget *parent, const char *name, QPoint position)
{
    auto *l = new PathLabel(QString::fromLatin1(name), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(position);
    l->adjustSize();
    return l;
}

// The table editing of a run: the batch is marked while the run waits.
class MarkedTableEditing : public TableEditing
{
public:
    MarkedTableEditing(TableEditing *editing, std::function<void()> mark)
        : m_editing(editing), m_mark(std::move(mark)) {}
    void editTable(const QString &tname) override
    {
        m_mark();
        m_editing->editTable(tname);
    }

private:
    TableEditing *m_editing;
    std::function<void()> m_mark;
};

// The question asked before a save that `target` cannot hold: which
// character comes first, where, and how many there are.
QString unstorableQuestion(const UnstorableText &lost, TextEncoding target, TextEncoding instead)
{
    QString character;
    if (QChar::isSurrogate(lost.first))
        character = QStringLiteral("a lone surrogate");
    else if (!QChar::isPrint(lost.first))
        character = QStringLiteral("an invisible character");
    else
        character = u'"' + QString::fromUcs4(&lost.first, 1) + u'"';
    const QString code = QString::number(uint(lost.first), 16).toUpper().rightJustified(4, u'0');
    return QStringLiteral("%1 cannot hold %2 of this script. The first is %3 (U+%4), in line %5, "
                          "column %6.\n\nSave the script in %7 with a byte-order mark instead? "
                          "Cancel saves nothing.")
        .arg(encodingName(target),
             lost.count == 1 ? QStringLiteral("1 character") : QStringLiteral("%1 characters").arg(lost.count),
             character, code, QString::number(lost.line), QString::number(lost.column), encodingName(instead));
}

// How often a run that nobody sees processes pending events, in ms.
constexpr qint64 kUnseenEventInterval = 20;

// Flips a flag for the time of a scope.
class RunningFlag
{
public:
    explicit RunningFlag(bool &flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag &) = delete;
    RunningFlag &operator=(const RunningFlag &) = delete;

private:
    bool &m_flag;
};

} // namespace

Trux_pp1::Trux_pp1(QWidget *parent)
    : QWidget(parent, Qt::Window), m_lines(nullptr)
{
    setObjectName(QStringLiteral("rux_pp1"));
    Program::instance().setMainWindow(this);
    setWindowTitle(QStringLiteral("rux_postprocessing"));
    resize(774, 626);

    access_con = new AdoConnection(QStringLiteral("access_con"), this);
    // A database that failed to open and opens later on demand is named
    // again.
    connect(access_con, &AdoConnection::opened, this, [this]() {
        if (!db_f_name.isEmpty())
            Label2->setPath(AdoConnection::shownDataSource(db_f_name));
    });
    Query1 = new AdoQuery(access_con, QStringLiteral("Query1"), this);
    DataSource1 = new DataSource(this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource1->setDataSet(Query1);

    Button1 = makeButton(this, "Button1", QStringLiteral("open db"), {8, 3, 105, 25});
    Label2 = makeLabel(this, "Label2", {119, 8});
    Button2 = makeButton(this, "Button2", QStringLiteral("open sql"), {8, 32, 105, 25});
    Label3 = makeLabel(this, "Label3", {119, 40});

    Memo1 = new ScriptEditor(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 63, 755, 194);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setPlainText(QStringLiteral(" "));
    m_lines = EditorLines(Memo1);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 257, 759, 361);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QStringLiteral("result data set"));
    PageControl1->addTab(TabSheet2, QStringLiteral("parameters"));

    DBGrid1 = new DataGrid(TabSheet1);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(3, 3, 745, 327);
    DBGrid1->setDataSource(DataSource1);

    StringGrid1 = new StringGrid(TabSheet2);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(144, 56, 249, 153);
    Button3 = makeButton(TabSheet2, "Button3", QStringLiteral("update sql code with parameter values"),
                         {144, 224, 249, 25});
    Button5 = makeButton(TabSheet2, "Button5", QStringLiteral("clear grid"), {144, 255, 249, 25});
    // The editor marks each "$name" by whether the grid holds a value for
    // it: it looks again when a cell changes.
    Memo1->setParameters(StringGrid1, [this]() { return var_count; });
    connect(StringGrid1, &QTableWidget::cellChanged, Memo1, &ScriptEditor::parametersChanged);
    setTabOrder(StringGrid1, Button3);
    setTabOrder(Button3, Button5);

    Button6 = makeButton(this, "Button6", QStringLiteral("execute script"), {680, 3, 86, 25});
    CheckBox1 = new QCheckBox(QStringLiteral("data change"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(584, 7, 90, 17);
    Button4 = makeButton(this, "Button4", QStringLiteral("save script"), {680, 32, 86, 25});
    // A long file name never runs under the controls to its right.
    constexpr int gap = 6;
    Label2->setMaximumWidth(CheckBox1->x() - gap - Label2->x());
    Label3->setMaximumWidth(Button4->x() - gap - Label3->x());

    PageControl1->setCurrentWidget(TabSheet2);

    // The run's status and stop button stand in the page control's corner,
    // to the right of the tabs, where the layout has room.
    auto *corner = new QWidget(PageControl1);
    corner->setObjectName(QStringLiteral("RunStatus"));
    const int room = PageControl1->width() - PageControl1->tabBar()->sizeHint().width() - 12;
    const int height = PageControl1->tabBar()->sizeHint().height() - 2;
    Button7 = makeButton(corner, "Button7", QStringLiteral("stop"), {});
    Button7->setFixedSize(62, height);
    Button7->setToolTip(QStringLiteral("stop the run (Esc)"));
    Label4 = new QLabel(corner);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFixedSize(room - Button7->width() - 8, height);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *row = new QHBoxLayout(corner);
    row->setContentsMargins(0, 0, 2, 0);
    row->setSpacing(6);
    row->addWidget(Label4);
    row->addWidget(Button7);
    PageControl1->setCornerWidget(corner, Qt::TopRightCorner);

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, PageControl1);
    setTabOrder(PageControl1, Memo1);
    setTabOrder(Memo1, Button6);
    setTabOrder(Button6, CheckBox1);
    setTabOrder(CheckBox1, Button4);

    m_ownDialogs = std::make_unique<QtFileDialogs>();
    m_dialogs = m_ownDialogs.get();

    connect(Button1, &QPushButton::clicked, this, guarded(this, &Trux_pp1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(this, &Trux_pp1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, guarded(this, &Trux_pp1::Button3Click));
    connect(Button4, &QPushButton::clicked, this, guarded(this, &Trux_pp1::Button4Click));
    connect(Button5, &QPushButton::clicked, this, guarded(this, &Trux_pp1::Button5Click));
    connect(Button6, &QPushButton::clicked, this, guarded(this, &Trux_pp1::Button6Click));
    connect(Button7, &QPushButton::clicked, this, &Trux_pp1::stopRun);

    m_runView = new RunView(this, Memo1, &m_lines, Label4, Button7);
    m_stop.setInterrupt([this]() { access_con->interrupt(); });
    // A long write of substituted lines into the editor keeps the windows
    // alive, and a stop ends it.
    m_lines.setInterruption([this]() {
        keepalive::check();
        return runInProgress() && m_stop.requested();
    });
    makeKeys();
    // On a screen smaller than the layout the client area scrolls.
    new ClientScroller(this, size());
}

void Trux_pp1::setFileDialogs(FileDialogs *dialogs)
{
    m_dialogs = dialogs ? dialogs : m_ownDialogs.get();
}

void Trux_pp1::chooseFolderOf(const QString &fileName)
{
    // A file chosen in a dialog makes its folder the current directory,
    // against which later relative names (export files) resolve.
    QDir::setCurrent(QFileInfo(fileName).absolutePath());
}

void Trux_pp1::set_database()
{
    // A server's password is never shown.
    Label2->setPath(AdoConnection::shownDataSource(db_f_name));
    const QString connectionString = buildConnectionString(db_f_name);
    access_con->Close();
    access_con->setConnectionString(connectionString);
    try {
        access_con->Open();
    } catch (...) {
        // Nothing is open now: the label does not claim the database is.
        // It names it again when a later statement opens it after all.
        Label2->setPath(QString());
        throw;
    }
}

void Trux_pp1::set_sqlscript()
{
    const QString labelBefore = Label3->text();
    Label3->setPath(sql_f_name);
    try {
        var_count = loadScript(sql_f_name, run_id, m_lines, *StringGrid1, m_encoding);
    } catch (...) {
        // The editor keeps the script it held: so do the name and the
        // label, and a run's log names that script.
        sql_f_name = m_scriptInEditor;
        Label3->setPath(labelBefore);
        throw;
    }
    m_scriptInEditor = sql_f_name;
}

bool Trux_pp1::argumentsHoldGo() const
{
    for (const QString &argument : m_arguments) {
        if (examineArgument(argument).go)
            return true;
    }
    return false;
}

void Trux_pp1::init_prj()
{
    autorun = false;
    var_count = 0;
    sql_f_name.clear();

    // While a script run waits (for the table editor), a repeated start-up
    // must not reopen the database, reload the script the run is reading,
    // or start a second run inside the first.
    const bool nested = m_running;

    // The grid's rows are emptied and filled from the arguments; each
    // "DB=" opens its database where it stands. What the arguments before
    // a database that fails to open gave is kept.
    StartupArguments read;
    const auto take = [this, nested, &read]() {
        var_count = read.parameterRows;
        run_id = read.runId;
        if (read.script && !nested)
            sql_f_name = read.scriptFile;
        if (read.go && !nested)
            autorun = true;
    };
    try {
        readStartupArguments(m_arguments, *StringGrid1, read, [this, nested](const QString &db) {
            if (nested)
                return;
            db_f_name = db;
            set_database();
        });
    } catch (...) {
        take();
        throw;
    }
    take();
    if (!sql_f_name.isEmpty())
        set_sqlscript();
    if (autorun)
        do_execute();
}

void Trux_pp1::do_execute()
{
    RunningFlag unattended(m_unattended);
    m_stop.reset();
    m_lastBatch = BatchRecord();
    {
        // The substitution begins the run: it can be stopped, and the
        // commands are off meanwhile.
        const std::shared_ptr<void> off = commandsOff();
        m_runView->begin();
        try {
            Button3Click();
        } catch (...) {
            showRunFailed();
            throw;
        }
    }
    Button6Click();
    access_con->Close();
    close();
}

void Trux_pp1::FormActivate()
{
    const bool first = !m_activated;
    m_activated = true;
    // An unattended run without a screen: nobody sees the windows or types
    // into them, and they close when the run ends. They are never painted,
    // and the script's text is never laid out.
    if (first && Program::instance().headless() && argumentsHoldGo()) {
        m_unseen = true;
        m_lines.leaveViewBehind(true);
        setUpdatesEnabled(false);
    }
    try {
        init_prj();
    } catch (...) {
        // An unattended run that fails at any step ends with status 1.
        if (first && argumentsHoldGo()) {
            const int status = currentFailureStatus();
            Program::instance().setExitStatus(status);
            logRunEnd(failureDisplayText(currentFailureText()), status, currentStopCause());
        }
        throw;
    }
    // The unattended run has ended with the database closed.
    if (first && autorun)
        logRunEnd(QString(), 0);
}

void Trux_pp1::logRunEnd(const QString &failure, int status, StopCause cause)
{
    RunLog *log = Program::instance().runLog();
    if (!log)
        return;
    if (!log->runBegun()) {
        try {
            log->beginRun(runHeader());
        } catch (const Failure &) {
            // A log that cannot be written was reported when it failed.
        }
    }
    log->endRun(failure, status, cause);
}

RunLog::Header Trux_pp1::runHeader() const
{
    RunLog::Header header;
    header.database = AdoConnection::shownDataSource(db_f_name);
    header.script = sql_f_name;
    header.runId = run_id;
    for (int row = 1; row <= var_count; ++row)
        header.parameters.append({StringGrid1->cell(0, row), StringGrid1->cell(1, row)});
    header.singleTransaction = Program::instance().singleTransaction();
    header.notes = access_con->openNotes();
    return header;
}

// OpenDialog1, shared by "open db" and "open sql": it proposes the name
// chosen in it last. Empty when the user cancelled.
QString Trux_pp1::chooseOpenFile()
{
    const QString name = m_dialogs->openFile(this, m_openDialogName);
    if (!name.isEmpty()) {
        m_openDialogName = name;
        chooseFolderOf(name);
    }
    return name;
}

void Trux_pp1::Button1Click()
{
    if (m_running)
        return;
    const QString name = chooseOpenFile();
    if (name.isEmpty())
        return;
    db_f_name = name;
    set_database();
}

void Trux_pp1::Button2Click()
{
    if (m_running)
        return;
    const QString name = chooseOpenFile();
    if (name.isEmpty())
        return;
    sql_f_name = name;
    set_sqlscript();
}

void Trux_pp1::Button3Click()
{
    // In a run the substitution can be stopped, between its lines too.
    std::function<void()> linesDone;
    std::function<void()> processEvents = eventProcessing();
    if (runInProgress()) {
        const auto checkStop = [this]() { m_stop.checkInSubstitution(); };
        linesDone = [checkStop]() {
            keepalive::check();
            checkStop();
        };
        processEvents = [checkStop, process = std::move(processEvents)]() {
            checkStop();
            process();
            checkStop();
        };
    }
    substituteParameters(m_lines, *StringGrid1, var_count, processEvents, linesDone);
}

void Trux_pp1::Button4Click()
{
    // Another file that exists is replaced only when the user says so; a
    // "no" goes back to the dialog. The loaded script itself is saved over
    // without a question.
    QString name = m_saveDialogName;
    for (;;) {
        name = m_dialogs->saveFile(this, name, QStringLiteral("sql"));
        if (name.isEmpty())
            return;
        name = withDefaultSuffix(name, QStringLiteral("sql"));
        const QFileInfo chosen(name);
        const bool loadedScript = !m_scriptInEditor.isEmpty()
            && chosen.canonicalFilePath() == QFileInfo(m_scriptInEditor).canonicalFilePath();
        if (!chosen.exists() || chosen.isDir() || loadedScript || m_dialogs->replaceFile(this, name))
            break;
    }
    m_saveDialogName = name;
    chooseFolderOf(name);
    const QString text = m_lines.text();
    TextEncoding encoding = m_encoding;
    // A character the remembered encoding lacks would be written as
    // something else: the user decides before anything is written.
    const UnstorableText lost = findUnstorable(text, encoding);
    if (lost.count > 0) {
        const TextEncoding instead = encodingThatHolds(lost);
        if (!m_dialogs->saveInstead(this, unstorableQuestion(lost, encoding, instead),
                                    QStringLiteral("Save as %1").arg(encodingName(instead))))
            return;
        encoding = instead;
    }
    writeScriptFile(name, text, encoding);
    m_encoding = encoding;
}

void Trux_pp1::Button5Click()
{
    clearParameterRows(*StringGrid1);
    var_count = 0;
}

void Trux_pp1::Button6Click()
{
    if (m_running)
        return;
    RunningFlag flag(m_running);
    m_stop.reset();
    m_lastBatch = BatchRecord();
    const std::shared_ptr<void> off = commandsOff();
    m_runView->begin();
    MarkedTableEditing editing(m_ftabed, [this]() { showRunningBatch(); });
    RunContext context;
    context.editor = &m_lines;
    context.query = Query1;
    context.tableEditing = m_ftabed ? &editing : nullptr;
    context.clickSubstitute = [this]() { Button3Click(); };
    context.processEvents = eventProcessing();
    context.setDataChange = [this](bool on) { CheckBox1->setChecked(on); };
    context.dataChange = [this]() { return CheckBox1->isChecked(); };
    context.batchRuns = [this](int first, int last) { m_runView->batchRuns(first, last); };
    context.batchEnded = [this](const BatchRecord &record) {
        m_lastBatch = record;
        m_runView->batchEnded(record);
    };
    context.stop = &m_stop;
    RunLog *log = Program::instance().runLog();
    context.log = log;
    context.singleTransaction = Program::instance().singleTransaction();
    context.scriptFile = sql_f_name;
    context.databaseFile = db_f_name;
    RunWatch *watch = Program::instance().runWatch();
    if (watch)
        watch->runBegins();
    const std::shared_ptr<void> watched(nullptr, [watch](void *) {
        if (watch)
            watch->runEnds();
    });
    try {
        if (log && !log->runBegun())
            log->beginRun(runHeader());
        runScript(context);
    } catch (...) {
        showRunFailed();
        // An unattended run is logged as ended once the database is closed.
        if (!m_unattended)
            logRunEnd(failureDisplayText(currentFailureText()), currentFailureStatus(), currentStopCause());
        throw;
    }
    m_runView->end(RunView::Outcome::Success, 0, lastResultText());
    if (!m_unattended)
        logRunEnd(QString(), 0);
}

std::function<void()> Trux_pp1::eventProcessing() const
{
    if (!m_unseen)
        return []() { QCoreApplication::processEvents(); };
    // Nobody can act on the windows: what is pending (timers, posted calls)
    // is processed once a while has passed since the last time, instead of
    // paying the event loop's round at every batch of a long script.
    return [clock = std::make_shared<QElapsedTimer>()]() {
        if (clock->isValid() && clock->elapsed() < kUnseenEventInterval)
            return;
        QCoreApplication::processEvents();
        clock->start();
    };
}

void Trux_pp1::closeEvent(QCloseEvent *event)
{
    // The window stays until the event loop takes the end request. A run
    // in progress is stopped first: its statement is interrupted, a table
    // editing it waits for ends, and the program ends once the run has.
    event->ignore();
    stopRun();
    Program::instance().requestEnd();
}

} // namespace rux
