// The two windows as they are created: controls, places, captions, tab
// order and initial contents.

#include "db/adoconnection.h"
#include "db/adotable.h"
#include "ui/datagrid.h"
#include "ui/dbnavigator.h"
#include "ui/pathlabel.h"
#include "ui/program.h"
#include "ui/stringgrid.h"
#include "ui/tftabed.h"
#include "ui/trux_pp1.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

using rux::Trux_pp1;

class TestWindows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Trux_pp1> m_main;

private Q_SLOTS:
    void initTestCase()
    {
        rux::Program::instance().setHeadless(true);
        m_main = std::make_unique<Trux_pp1>();
    }

    void cleanupTestCase() { m_main.reset(); }

    void mainWindowControls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Button1") << "Button1" << "QPushButton" << "rux_pp1" << QRect(8, 3, 105, 25) << "open db";
        QTest::newRow("Button2") << "Button2" << "QPushButton" << "rux_pp1" << QRect(8, 32, 105, 25) << "open sql";
        QTest::newRow("Memo1") << "Memo1" << "rux::ScriptEditor" << "rux_pp1" << QRect(8, 63, 755, 194) << " ";
        QTest::newRow("PageControl1") << "PageControl1" << "QTabWidget" << "rux_pp1" << QRect(8, 257, 759, 361) << "";
        QTest::newRow("DBGrid1") << "DBGrid1" << "rux::DataGrid" << "TabSheet1" << QRect(3, 3, 745, 327) << "";
        QTest::newRow("StringGrid1") << "StringGrid1" << "rux::StringGrid" << "TabSheet2" << QRect(144, 56, 249, 153) << "";
        QTest::newRow("Button3") << "Button3" << "QPushButton" << "TabSheet2" << QRect(144, 224, 249, 25)
                                 << "update sql code with parameter values";
        QTest::newRow("Button5") << "Button5" << "QPushButton" << "TabSheet2" << QRect(144, 255, 249, 25) << "clear grid";
        QTest::newRow("Button6") << "Button6" << "QPushButton" << "rux_pp1" << QRect(680, 3, 86, 25) << "execute script";
        QTest::newRow("CheckBox1") << "CheckBox1" << "QCheckBox" << "rux_pp1" << QRect(584, 7, 90, 17) << "data change";
        QTest::newRow("Button4") << "Button4" << "QPushButton" << "rux_pp1" << QRect(680, 32, 86, 25) << "save script";
    }

    void mainWindowControls()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        auto *w = m_main->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);
        QCOMPARE(w->parentWidget()->objectName(), parent);
        QCOMPARE(w->geometry(), geometry);
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            QCOMPARE(b->text(), caption);
        if (auto *m = qobject_cast<QPlainTextEdit *>(w))
            QCOMPARE(m->toPlainText(), caption);
        // Resizing the window moves nothing.
        m_main->resize(1000, 900);
        QCOMPARE(w->geometry(), geometry);
        m_main->resize(774, 626);
    }

    void mainWindowState()
    {
        QCOMPARE(m_main->windowTitle(), QStringLiteral("rux_postprocessing"));
        QCOMPARE(m_main->size(), QSize(774, 626));
        QVERIFY(m_main->isWindow());
        QCOMPARE(m_main->PageControl1->currentWidget(), m_main->TabSheet2);
        QCOMPARE(m_main->PageControl1->tabText(0), QStringLiteral("result data set"));
        QCOMPARE(m_main->PageControl1->tabText(1), QStringLiteral("parameters"));
        QCOMPARE(m_main->TabSheet1->objectName(), QStringLiteral("TabSheet1"));
        QCOMPARE(m_main->Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(m_main->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(m_main->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(m_main->editorLines().lineCount(), 1);
        QCOMPARE(m_main->editorLines().line(0), QStringLiteral(" "));
        QCOMPARE(m_main->Label2->text(), QStringLiteral("Label2"));
        QCOMPARE(m_main->Label3->text(), QStringLiteral("Label3"));
        QCOMPARE(m_main->Label2->pos(), QPoint(119, 8));
        QCOMPARE(m_main->Label3->pos(), QPoint(119, 40));
        QVERIFY(!m_main->Label2->wordWrap());
        QVERIFY(!m_main->CheckBox1->isChecked());
        QCOMPARE(m_main->access_con->objectName(), QStringLiteral("access_con"));
        QVERIFY(!m_main->access_con->connected());
        QCOMPARE(m_main->StringGrid1->rowCount(), 6);
        QCOMPARE(m_main->StringGrid1->columnCount(), 2);
        QVERIFY(!m_main->autorun);
        QVERIFY(m_main->run_id.isEmpty());
        QVERIFY(m_main->sql_f_name.isEmpty());
        QVERIFY(m_main->db_f_name.isEmpty());
        QCOMPARE(m_main->var_count, 0);
    }

    // A database or script name of any length: the label keeps the whole
    // name, never reaches the controls to its right, and shows a name too
    // long for it shortened in the middle, with the whole name as tooltip.
    void namesNeverRunUnderOtherControls_data()
    {
        QTest::addColumn<bool>("database");
        QTest::addColumn<int>("length");
        QTest::newRow("short_database") << true << 20;
        QTest::newRow("long_database") << true << 300;
        QTest::newRow("short_script") << false << 20;
        QTest::newRow("long_script") << false << 300;
    }

    void namesNeverRunUnderOtherControls()
    {
        QFETCH(bool, database);
        QFETCH(int, length);
        const QString name = QStringLiteral("/nowhere/") + QString(length, u'd') + QStringLiteral("/end.sql");
        rux::PathLabel *label = database ? m_main->Label2 : m_main->Label3;
        const QWidget *right = database ? static_cast<QWidget *>(m_main->CheckBox1) : m_main->Button4;
        label->setPath(name);
        QCOMPARE(label->text(), name);
        QVERIFY(label->geometry().right() < right->x());
        const bool fits = length < 100;
        QCOMPARE(label->shownText() == name, fits);
        QCOMPARE(label->toolTip(), fits ? QString() : name);
        if (!fits) {
            QVERIFY(label->shownText().startsWith(QStringLiteral("/nowhere/")));
            QVERIFY(label->shownText().endsWith(QStringLiteral("/end.sql")));
        }
    }

    void mainWindowTabOrder()
    {
        const QList<QWidget *> order = {m_main->Button1, m_main->Button2, m_main->PageControl1,
                                        m_main->Memo1, m_main->Button6, m_main->CheckBox1, m_main->Button4};
        for (int i = 0; i + 1 < order.size(); ++i) {
            QWidget *next = order[i]->nextInFocusChain();
            while (next && !order.contains(next))
                next = next->nextInFocusChain();
            QCOMPARE(next ? next->objectName() : QString(), order[i + 1]->objectName());
        }
        QWidget *next = m_main->StringGrid1->nextInFocusChain();
        while (next && next != m_main->Button3 && next != m_main->Button5)
            next = next->nextInFocusChain();
        QCOMPARE(next, static_cast<QWidget *>(m_main->Button3));
    }

    // A window smaller than its layout scrolls its client area: scroll bars
    // appear, a control that takes the focus out of sight is scrolled into
    // view, and at full size again every control stands where it did.
    void smallWindowScrolls()
    {
        m_main->show();
        QApplication::setActiveWindow(m_main.get());
        QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
        m_main->resize(500, 400);
        QList<QScrollBar *> bars;
        for (QScrollBar *bar : m_main->findChildren<QScrollBar *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (bar->isVisible())
                bars.append(bar);
        }
        QCOMPARE(bars.size(), 2);
        QCOMPARE(m_main->Button1->geometry(), QRect(8, 3, 105, 25));
        m_main->Button4->setFocus();
        const QRect shown(m_main->Button4->mapTo(m_main.get(), QPoint(0, 0)), m_main->Button4->size());
        const QRect view(0, 0, 500 - bars[1]->width(), 400 - bars[0]->height());
        QVERIFY2(view.contains(shown), qPrintable(QStringLiteral("%1,%2").arg(shown.x()).arg(shown.y())));
        m_main->resize(774, 626);
        for (QScrollBar *bar : bars)
            QVERIFY(!bar->isVisible());
        QCOMPARE(m_main->Button4->geometry(), QRect(680, 32, 86, 25));
        QCOMPARE(m_main->Button1->geometry(), QRect(8, 3, 105, 25));
        m_main->hide();
    }

    void tableEditorLayout()
    {
        rux::Tftabed editor(m_main->access_con);
        QCOMPARE(editor.objectName(), QStringLiteral("ftabed"));
        QCOMPARE(editor.windowTitle(), QStringLiteral("table ready to edit"));
        QCOMPARE(editor.size(), QSize(750, 509));
        QVERIFY(!editor.isVisible());
        QVERIFY(!editor.waitmode);
        QCOMPARE(editor.DBGrid1->geometry(), QRect(8, 8, 734, 465));
        QCOMPARE(editor.Button1->geometry(), QRect(667, 479, 75, 25));
        QCOMPARE(editor.Button1->text(), QStringLiteral("Button1"));
        QCOMPARE(editor.DBNavigator1->geometry(), QRect(8, 479, 530, 25));
        QStringList names;
        for (QObject *child : editor.DBNavigator1->children()) {
            if (auto *b = qobject_cast<QPushButton *>(child))
                names << b->objectName();
        }
        QCOMPARE(names, QStringList({"first", "prior", "next", "last", "insert", "delete", "edit", "post",
                                     "cancel", "refresh"}));
        QCOMPARE(editor.ADOTable1->objectName(), QStringLiteral("ADOTable1"));
        QVERIFY(!editor.ADOTable1->active());
        QCOMPARE(editor.DBGrid1->parentWidget(), static_cast<QWidget *>(&editor));
        QVERIFY(editor.isWindow());

        // Tab order: grid, button, navigator.
        QWidget *next = editor.DBGrid1->nextInFocusChain();
        while (next && next != editor.Button1 && next != editor.DBNavigator1)
            next = next->nextInFocusChain();
        QCOMPARE(next, static_cast<QWidget *>(editor.Button1));

        // The controls keep their place when the window is resized.
        editor.resize(1200, 900);
        QCOMPARE(editor.DBGrid1->geometry(), QRect(8, 8, 734, 465));
        QCOMPARE(editor.Button1->geometry(), QRect(667, 479, 75, 25));
        QCOMPARE(editor.DBNavigator1->geometry(), QRect(8, 479, 530, 25));
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
