#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "framework/data/database_url.h"
#include "support/case_name.h"
#include "support/form_test_server.h"

using namespace bco;
using namespace bco::testing;

namespace {

struct Outcome {
    int exitCode;
    QString out;
    QString err;
};

// bco-report as a schedule runs it: over a demo database, logged in to the real server in this process.
class BcoReport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        createDatabase(folder->filePath(QStringLiteral("bco.db")));
        server = new InProcessServer(DatabaseUrl::parse(url()));
    }
    static void TearDownTestSuite() {
        delete server;
        delete folder;
    }
    static QString url() { return QStringLiteral("sqlite:") + folder->filePath(QStringLiteral("bco.db")); }

    static Outcome run(const QStringList &arguments, const QString &password = QStringLiteral("demo")) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BCO_PASSWORD"), password);
        program.setProcessEnvironment(environment);
        program.start(
            QStringLiteral(BCO_REPORT_PATH),
            QStringList{QStringLiteral("--config"), folder->filePath(QStringLiteral("nenhum.ini")),
                        QStringLiteral("--operator"), QStringLiteral("DEMO"), QStringLiteral("--branch"),
                        QStringLiteral("0101"), QStringLiteral("--date"), QStringLiteral("15/03/2024"),
                        QStringLiteral("--server-host"), server->host(), QStringLiteral("--server-port"),
                        QString::number(server->port()), QStringLiteral("--database"), url()} +
                arguments);
        program.waitForFinished(120000);
        return {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
                QString::fromUtf8(program.readAllStandardError())};
    }

    static QTemporaryDir *folder;
    static InProcessServer *server;
};

QTemporaryDir *BcoReport::folder = nullptr;
InProcessServer *BcoReport::server = nullptr;

QString pdfText(const QString &file) {
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    reader.waitForFinished(60000);
    return QString::fromUtf8(reader.readAllStandardOutput());
}

TEST_F(BcoReport, ListsTheTitlesStoredForTheCode) {
    QFile(folder->filePath(QStringLiteral("nenhum.ini"))).open(QIODevice::WriteOnly);
    const Outcome outcome =
        run({QStringLiteral("--code"), QStringLiteral("BCO111"), QStringLiteral("--list")});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QStringLiteral("Lançamentos por conta e data\nResumo por tipo\n"));
}

// The help offers only what the program takes: the password comes from the environment alone.
TEST_F(BcoReport, TheHelpOffersNoPasswordOption) {
    const Outcome outcome = run({QStringLiteral("--help")});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.out.contains(u"--operator")) << outcome.out.toStdString();
    EXPECT_FALSE(outcome.out.contains(u"--password")) << outcome.out.toStdString();
}

TEST_F(BcoReport, RendersADesignWithWhatTheScreenGivesForEveryChoiceOpen) {
    QFile(folder->filePath(QStringLiteral("nenhum.ini"))).open(QIODevice::WriteOnly);
    const QString pdf = folder->filePath(QStringLiteral("resumo.pdf"));
    const Outcome outcome = run(
        {QStringLiteral("--code"), QStringLiteral("BCO111"), QStringLiteral("--title"),
         QStringLiteral("Resumo por tipo"), QStringLiteral("--param"), QStringLiteral("P_DATAINI=01/03/2024"),
         QStringLiteral("--param"), QStringLiteral("P_DATAFIM=15/03/2024"), QStringLiteral("--pdf"), pdf});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    QSqlDatabase database = openDatabase(DatabaseUrl::parse(url()), QStringLiteral("bco-report-test"));
    QSqlQuery sums(database);
    ASSERT_TRUE(sums.exec(QStringLiteral(
        "SELECT (SELECT SUM(VRMOVICRED) FROM MOVCREDBANC WHERE DTMOVICRED BETWEEN '2024-03-01' AND "
        "'2024-03-15'), "
        "(SELECT SUM(VRMOVIDEBI) FROM MOVDEBIBANC WHERE DTMOVIDEBI BETWEEN '2024-03-01' AND '2024-03-15')")));
    ASSERT_TRUE(sums.next());
    const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    const QString credits = locale.toString(sums.value(0).toLongLong() / 100.0, 'f', 2);
    const QString debits = locale.toString(sums.value(1).toLongLong() / 100.0, 'f', 2);
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("bco-report-test"));
    const QString text = pdfText(pdf);
    const qsizetype at = text.indexOf(QStringLiteral("Total geral"));
    ASSERT_GE(at, 0) << text.toStdString();
    EXPECT_TRUE(text.mid(at, text.indexOf(u'\n', at) - at).simplified().endsWith(credits + u' ' + debits));
    EXPECT_TRUE(text.contains(QStringLiteral("Período: 01/03/2024 a 15/03/2024")));
    EXPECT_TRUE(text.simplified().contains(QStringLiteral("Empresas: 01, 02, 03 Contas: todas")));
}

// What a schedule may get wrong ends the program with a message and a non-zero status, writing nothing.
struct Refusal {
    const char *name;
    QStringList arguments;
    const char *message;
    const char *password = "demo";
    const char *device = nullptr; // the file asked for is a link to this device
};

class BcoReportRefusal : public BcoReport, public ::testing::WithParamInterface<Refusal> {};

const QStringList summary = {"--code", "BCO111", "--title", "Resumo por tipo"};
const QStringList period = {"--param", "P_DATAINI=01/03/2024", "--param", "P_DATAFIM=15/03/2024"};

const Refusal refusals[] = {
    {"an unknown code", {"--code", "BCO999", "--list"}, "Não há relatório cadastrado com o código BCO999."},
    {"an unknown title",
     {"--code", "BCO111", "--title", "Extrato", "--pdf", "x.pdf"},
     "Não há relatório \"Extrato\" com o código BCO111."},
    {"a missing end date", summary + QStringList{"--param", "P_DATAINI=01/03/2024", "--pdf", "x.pdf"},
     "Falta o parâmetro P_DATAFIM."},
    {"a date that is no date",
     summary +
         QStringList{"--param", "P_DATAINI=31/02/2024", "--param", "P_DATAFIM=15/03/2024", "--pdf", "x.pdf"},
     "O parâmetro P_DATAINI não é uma data válida"},
    {"a period that ends before it starts",
     summary +
         QStringList{"--param", "P_DATAINI=15/03/2024", "--param", "P_DATAFIM=01/03/2024", "--pdf", "x.pdf"},
     "Período inicial deve ser menor ou igual ao período final"},
    {"a parameter the design lacks",
     summary + period + QStringList{"--param", "P_CONTA=001", "--pdf", "x.pdf"},
     "O relatório não tem o parâmetro P_CONTA"},
    {"every company by the flag beside their list",
     summary + period + QStringList{"--param", "P_TCDEMPRESA=T", "--pdf", "x.pdf"},
     "O parâmetro P_TCDEMPRESA não pode ser dado"},
    {"an unwritable file", summary + period + QStringList{"--pdf", "/nenhuma/pasta/relatorio.pdf"},
     "Não foi possível gravar o arquivo /nenhuma/pasta/relatorio.pdf"},
    {"a full disk, which leaves the operator's link to it",
     summary + period + QStringList{"--pdf", "cheio.pdf"}, "Não foi possível gravar o arquivo", "demo",
     "/dev/full"},
    {"a wrong password", summary + period + QStringList{"--pdf", "x.pdf"}, "senha", "errada"},
    {"a password on the command line", summary + period + QStringList{"--password", "demo", "--pdf", "x.pdf"},
     "nunca da linha de comando"},
};

TEST_P(BcoReportRefusal, EndsWithAMessageAndANonZeroStatus) {
    const Refusal &refusal = GetParam();
    QFile(folder->filePath(QStringLiteral("nenhum.ini"))).open(QIODevice::WriteOnly);
    const QString pdf = folder->filePath(QStringLiteral("x.pdf"));
    const QString link = folder->filePath(QStringLiteral("cheio.pdf"));
    if (refusal.device) {
        if (!QFile::exists(QString::fromLatin1(refusal.device)))
            GTEST_SKIP() << refusal.device << " is not on this machine";
        ASSERT_TRUE(QFile::link(QString::fromLatin1(refusal.device), link));
    }
    QStringList arguments = refusal.arguments;
    arguments.replaceInStrings(QStringLiteral("x.pdf"), pdf);
    arguments.replaceInStrings(QStringLiteral("cheio.pdf"), link);
    const Outcome outcome = run(arguments, QString::fromLatin1(refusal.password));
    EXPECT_NE(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.err.contains(QString::fromUtf8(refusal.message), Qt::CaseInsensitive))
        << outcome.err.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));
    if (refusal.device) {
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        QFile::remove(link);
    }
}

INSTANTIATE_TEST_SUITE_P(BcoReport, BcoReportRefusal, ::testing::ValuesIn(refusals), CaseName());

} // namespace
