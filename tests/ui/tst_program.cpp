// The failure display without a screen, the handler guard and the end
// request, the activation record, and the visual style.

#include "base/failure.h"
#include "tests/support/stderrcapture.h"
#include "ui/program.h"
#include "ui/style.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using rux::Program;
using rux::test::stderrOf;

class TestProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Program::instance().setHeadless(true);
        Program::instance().setTitle(QStringLiteral("rux_ppp"));
    }

    void headlessFailureLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("letter_gets_dot") << QStringLiteral("no such table: x") << QByteArray("rux_ppp: no such table: x.\n");
        QTest::newRow("dot_kept") << QStringLiteral("Done.") << QByteArray("rux_ppp: Done.\n");
        QTest::newRow("question_mark_gets_dot") << QStringLiteral("why?") << QByteArray("rux_ppp: why?.\n");
        QTest::newRow("exclamation_kept") << QStringLiteral("stop!") << QByteArray("rux_ppp: stop!\n");
        QTest::newRow("colon_gets_dot") << QStringLiteral("Fehler:") << QByteArray("rux_ppp: Fehler:.\n");
        QTest::newRow("empty_text") << QString() << QByteArray("rux_ppp: \n");
        QTest::newRow("line_breaks_folded") << QStringLiteral("first\r\nsecond\nthird\rfourth")
                                            << QByteArray("rux_ppp: first second third fourth.\n");
        QTest::newRow("trailing_break_no_dot") << QStringLiteral("text\n") << QByteArray("rux_ppp: text \n");
    }

    void headlessFailureLine()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, line);
        QCOMPARE(stderrOf([&]() { Program::instance().showFailure(text); }), line);
    }

    void guardCatchesFailures_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("no_failure") << 0 << true << QByteArray();
        QTest::newRow("rux_failure") << 1 << false << QByteArray("rux_ppp: Query1: Eigenschaft SQL fehlt.\n");
        QTest::newRow("std_exception") << 2 << false << QByteArray("rux_ppp: bad thing.\n");
    }

    void guardCatchesFailures()
    {
        QFETCH(int, kind);
        QFETCH(bool, ok);
        QFETCH(QByteArray, line);
        bool result = !ok;
        bool after = false;
        const QByteArray written = stderrOf([&]() {
            result = Program::instance().guard([&]() {
                if (kind == 1)
                    throw rux::Failure(QStringLiteral("Query1: Eigenschaft SQL fehlt"));
                if (kind == 2)
                    throw std::runtime_error("bad thing");
                after = true;
            });
        });
        QCOMPARE(result, ok);
        QCOMPARE(after, ok);
        QCOMPARE(written, line);
        QCOMPARE(Program::instance().handlerDepth(), 0);
    }

    void nestedFailureEndsOnlyTheInnerHandler()
    {
        bool outerGoesOn = false;
        bool inner = true;
        stderrOf([&]() {
            Program::instance().guard([&]() {
                inner = Program::instance().guard([]() { throw rux::Failure(QStringLiteral("inner")); });
                outerGoesOn = true;
            });
        });
        QVERIFY(!inner);
        QVERIFY(outerGoesOn);
    }

    void activationRecord()
    {
        QWidget main;
        QWidget editor;
        QDialog dialog(&main);
        int runs = 0;
        rux::ActivationRecord record(&main, &editor, [&]() { ++runs; });
        QCOMPARE(record.recorded(), nullptr);
        record.focusEntered(&main);
        QCOMPARE(runs, 1);
        QCOMPARE(record.recorded(), &main);
        record.focusEntered(&main);
        QCOMPARE(runs, 1);
        // A dialog (or message box) does not change the record.
        record.focusEntered(&dialog);
        QCOMPARE(record.recorded(), &main);
        record.focusEntered(&main);
        QCOMPARE(runs, 1);
        record.focusEntered(&editor);
        QCOMPARE(record.recorded(), &editor);
        QCOMPARE(runs, 1);
        record.focusEntered(&main);
        QCOMPARE(runs, 2);
        record.focusEntered(&dialog);
        record.focusEntered(&editor);
        record.focusEntered(&dialog);
        record.focusEntered(&main);
        QCOMPARE(runs, 3);
        record.focusEntered(nullptr);
        QCOMPARE(record.recorded(), &main);
    }

    // The record follows real focus changes between the program's windows.
    void activationRecordFollowsFocus()
    {
        QWidget main;
        auto *mainEdit = new QLineEdit(&main);
        QWidget editor;
        auto *editorEdit = new QLineEdit(&editor);
        int runs = 0;
        rux::ActivationRecord record(&main, &editor, [&]() { ++runs; });
        main.show();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        mainEdit->setFocus();
        QTRY_COMPARE(runs, 1);
        QCOMPARE(record.recorded(), &main);

        editor.show();
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        editorEdit->setFocus();
        QTRY_COMPARE(record.recorded(), &editor);
        QCOMPARE(runs, 1);

        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        mainEdit->setFocus();
        QTRY_COMPARE(runs, 2);

        // A dialog over the main window comes and goes without a run.
        QDialog dialog(&main);
        auto *dialogEdit = new QLineEdit(&dialog);
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialogEdit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dialogEdit));
        dialog.hide();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        mainEdit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(mainEdit));
        QCOMPARE(runs, 2);
        QCOMPARE(record.recorded(), &main);
    }

    void activationHandlerFailureIsShown()
    {
        QWidget main;
        QWidget editor;
        rux::ActivationRecord record(&main, &editor, []() { throw rux::Failure(QStringLiteral("init failed")); });
        const QByteArray written = stderrOf([&]() { record.focusEntered(&main); });
        QCOMPARE(written, QByteArray("rux_ppp: init failed.\n"));
        QCOMPARE(record.recorded(), &main);
    }

    void missingStyleReported()
    {
        auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
        bool applied = true;
        const QByteArray written = stderrOf([&]() { applied = rux::applyStyle(*app, QStringLiteral(":/NOSUCHSTYLE")); });
        QVERIFY(!applied);
        QCOMPARE(written, QByteArray("rux_ppp: Stil 'Slate Classico' nicht gefunden\n"));
    }

    void embeddedStyleApplies()
    {
        Q_INIT_RESOURCE(slateclassico);
        auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
        bool applied = false;
        const QByteArray written = stderrOf([&]() { applied = rux::applyStyle(*app, rux::styleResource()); });
        QVERIFY(applied);
        QCOMPARE(written, QByteArray());
        QVERIFY(!app->styleSheet().isEmpty());
    }

    // Last: the end request cannot be taken back.
    void endRequestWaitsForOutermostHandler()
    {
        Program &program = Program::instance();
        program.setExitStatus(7);
        QEventLoop mainLoop;
        int nestedResult = -1;
        bool outerFinished = false;
        QTimer::singleShot(0, [&]() {
            program.guard([&]() {
                QEventLoop nested;
                QTimer::singleShot(0, [&]() { program.guard([&]() { program.requestEnd(); }); });
                QTimer::singleShot(50, [&]() { nested.exit(0); });
                nestedResult = nested.exec();
                QVERIFY(program.endRequested());
                outerFinished = true;
            });
        });
        QTimer::singleShot(5000, [&]() { mainLoop.exit(99); });
        program.setLoopRunning(true);
        const int status = mainLoop.exec();
        program.setLoopRunning(false);
        QCOMPARE(nestedResult, 0);
        QVERIFY(outerFinished);
        QCOMPARE(status, 7);
        program.setExitStatus(0);
    }
};

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
