#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "entries/entry_form.h"
#include "framework/checks/dialogs.h"
#include "framework/data/database_url.h"
#include "framework/session/login_context.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/mask_edit.h"
#include "support/form_test_server.h"

// What the benchmarks of the entry form stand on: a SQLite file with the demo's codes and one account seeded
// with the entries given, the real server in this process over HTTP on loopback, the host's login context,
// and the entry form opened on that account with its list loaded. The default filter period runs from 30
// days before the processing date (15/03/2024) to 5 days after it.
namespace bench {

// Nothing is expected to be shown: anything that is ends the benchmark with its text. Questions are
// answered yes when the benchmark expects them (a deletion asks to be confirmed).
class BenchDialogs final : public bco::MessageDialogs {
public:
    BenchDialogs(const char *benchmark, bool answerQuestions)
        : benchmark_(benchmark)
        , answerQuestions_(answerQuestions) {}
    using bco::MessageDialogs::show;
    bco::MsgButton show(bco::MsgKind kind, const QString &text, bco::MsgButtons, const QString &,
                        const QString &) override {
        if (answerQuestions_ && kind == bco::MsgKind::Confirmation)
            return bco::MsgButton::Yes;
        std::fprintf(stderr, "%s: the form said: %s\n", benchmark_, qPrintable(text));
        std::exit(1);
    }

private:
    const char *benchmark_;
    bool answerQuestions_;
};

class EntryFormBench {
public:
    // Call before anything else of Qt; `entries.account` is the account seeded and opened.
    EntryFormBench(int &argc, char **argv, const char *benchmark, const bco::testing::rows::Entries &entries,
                   bool answerQuestions = false)
        : app_(prepare(argc), argv)
        , dialogs_(benchmark, answerQuestions)
        , installedDialogs_(dialogs_) {
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        const QString path = folder_.filePath(QStringLiteral("bench.db"));
        bco::testing::createDatabase(path, bco::testing::formTestDate, 0);
        const bco::DatabaseUrl url = bco::DatabaseUrl::parse(QStringLiteral("sqlite:") + path);
        QSqlDatabase shared = bco::openDatabase(url, QStringLiteral("adcGeral"));
        bco::testing::rows::addAccount(shared, {.code = entries.account, .openingCents = 100000});
        bco::testing::rows::addEntries(shared, entries);
        bco::testing::rows::execute(shared, QStringLiteral("ANALYZE"));

        server_ = std::make_unique<bco::testing::InProcessServer>(url);
        context_.operatorCode = QStringLiteral("DEMO");
        context_.processingBranch = QStringLiteral("0101");
        context_.processingDate = bco::testing::formTestDate;
        context_.serverHost = server_->host();
        context_.serverPort = server_->port();
        context_.sessionToken = server_->logIn(QStringLiteral("DEMO"), QStringLiteral("demo"));
        context_.databaseConnection = QStringLiteral("adcGeral");
        installedContext_ = std::make_unique<bco::ScopedLoginContext>(context_);

        Cli_bco11100::CriaLancamento();
        form().resize(900, 600);
        QApplication::setActiveWindow(&form());
        if (!QTest::qWaitForWindowActive(&form()))
            throw std::runtime_error("the entry form did not become active");
        control<bco::TMaskEdit>("medCdRedu").setFocus();
        control<bco::TMaskEdit>("medCdRedu").SetText(entries.account);
    }

    ~EntryFormBench() {
        form().Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    EntryFormBench(const EntryFormBench &) = delete;
    EntryFormBench &operator=(const EntryFormBench &) = delete;

    Cli_bco11100::TfrmLancCCorr &form() { return *Cli_bco11100::frmLancCCorr; }

    template <class Widget> Widget &control(const char *name) {
        auto *widget = form().findChild<Widget *>(QString::fromLatin1(name));
        if (widget == nullptr)
            throw std::runtime_error(std::string("the entry form has no ") + name);
        return *widget;
    }

    // Leaves the account bar for the grid, which loads the list.
    void showList() { control<bco::TNewDBGrid>("dbgPadrao").setFocus(Qt::MouseFocusReason); }

    // Paints what is pending, as the event loop would before the operator sees the list.
    void showPending() {
        QApplication::processEvents();
        form().repaint();
    }

private:
    static int &prepare(int &argc) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }

    QApplication app_;
    QTemporaryDir folder_;
    BenchDialogs dialogs_;
    bco::ScopedMessageDialogs installedDialogs_;
    std::unique_ptr<bco::testing::InProcessServer> server_;
    bco::LoginContext context_;
    std::unique_ptr<bco::ScopedLoginContext> installedContext_;
};

} // namespace bench
