#include "server/transport/sessions.h"

#include <algorithm>
#include <thread>

#include <QCryptographicHash>
#include <QDateTime>
#include <QRandomGenerator>

namespace bco::server {

namespace {

QString tokenHash(const QString &token) {
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toLatin1(), QCryptographicHash::Sha256).toHex());
}

// A session's last use is written at most this often: a call that finds it fresher writes nothing, so that
// reading calls stay reads. Its expiry may then come up to this much early, which an idle limit of hours
// does not notice.
qint64 touchInterval(qint64 idleLimit) {
    return std::min<qint64>(60000, idleLimit / 4);
}

// The key under which failures of a typed code are counted; a code longer than any operator's still counts,
// under its first characters.
QString failureKey(const QString &operatorCode) {
    return operatorCode.trimmed().toUpper().left(40);
}

} // namespace

SessionStore::SessionStore()
    : SessionStore(Options{}) {
}

SessionStore::SessionStore(Options options)
    : options_(options) {
}

qint64 SessionStore::now() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString SessionStore::open(Sql &sql, const QString &operatorCode) {
    QByteArray bytes(32, '\0');
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    const QString token = QString::fromLatin1(bytes.toHex());
    const qint64 time = now();
    // Expired sessions are dropped here, so the table never grows past the live ones for long.
    sql.execute(QStringLiteral("DELETE FROM SESSAO WHERE DTHRVALIDADE <= :agora"),
                {{QStringLiteral("agora"), time}});
    sql.execute(QStringLiteral("INSERT INTO SESSAO (DSHASHTOKEN, CDOPERADOR, DTHRCRIACAO, DTHRULTUSO, "
                               "DTHRVALIDADE) VALUES (:hash, :operador, :agora, :agora, :validade)"),
                {{QStringLiteral("hash"), tokenHash(token)},
                 {QStringLiteral("operador"), operatorCode},
                 {QStringLiteral("agora"), time},
                 {QStringLiteral("validade"), time + options_.idleLimit.count()}});
    return token;
}

std::optional<QString> SessionStore::operatorFor(Sql &sql, const QString &token) {
    const QString hash = tokenHash(token);
    std::optional<QString> operatorCode;
    qint64 lastUse = 0;
    const qint64 time = now();
    // An operator made inactive is let in no longer, whatever sessions it holds.
    sql.forEach(QStringLiteral("SELECT S.CDOPERADOR, S.DTHRULTUSO FROM SESSAO S JOIN OPERADOR O ON "
                               "O.CDOPERADOR = S.CDOPERADOR WHERE S.DSHASHTOKEN = :hash AND S.DTHRVALIDADE > "
                               ":agora AND O.IDATIVO = 'S'"),
                {{QStringLiteral("hash"), hash}, {QStringLiteral("agora"), time}}, [&](const SqlRow &row) {
                    operatorCode = row.text(0);
                    lastUse = row.integer(1);
                });
    const qint64 idle = options_.idleLimit.count();
    if (operatorCode && time - lastUse >= touchInterval(idle)) {
        // The condition keeps a session that another server closed meanwhile closed.
        try {
            sql.execute(QStringLiteral("UPDATE SESSAO SET DTHRULTUSO = :agora, DTHRVALIDADE = :validade "
                                       "WHERE DSHASHTOKEN = :hash AND DTHRVALIDADE > :agora"),
                        {{QStringLiteral("hash"), hash},
                         {QStringLiteral("agora"), time},
                         {QStringLiteral("validade"), time + idle}});
        } catch (const DatabaseError &) {
            // SQLite lets one writer in at a time, and a long import may hold the file past the wait for it:
            // the session is still valid, and the next call renews it. The call is not failed for it.
            if (sql.dialect() != Dialect::Sqlite)
                throw;
        }
    }
    return operatorCode;
}

void SessionStore::close(Sql &sql, const QString &token) {
    sql.execute(QStringLiteral("DELETE FROM SESSAO WHERE DSHASHTOKEN = :hash"),
                {{QStringLiteral("hash"), tokenHash(token)}});
}

SessionStore::LoginHold SessionStore::loginHold(Sql &sql, const QString &operatorCode) {
    LoginHold hold;
    const auto failures = sql.scalar(
        QStringLiteral(
            "SELECT NRFALHAS FROM LOGINFALHA WHERE CDOPERADOR = :operador AND DTHRULTFALHA > :desde"),
        {{QStringLiteral("operador"), failureKey(operatorCode)},
         {QStringLiteral("desde"), now() - options_.failureMemory.count()}});
    hold.failures = failures ? failures->toInt() : 0;
    if (hold.failures > 0) {
        // step, 2 steps, 4 steps... up to the limit; the shift is bounded before it could overflow.
        const qint64 step = options_.loginDelayStep.count();
        const qint64 limit = options_.loginDelayLimit.count();
        const qint64 delay = step << std::min(hold.failures - 1, 20);
        hold.delay = std::chrono::milliseconds(std::min(delay, limit));
    }
    return hold;
}

bool SessionStore::waitOut(const LoginHold &hold, const QString &operatorCode) {
    if (hold.delay.count() <= 0)
        return true;
    const QString code = failureKey(operatorCode);
    const int mostOfOneCode = std::max(options_.mostHeldLogins / 2, 1);
    {
        const std::lock_guard lock(holding_);
        const auto held = heldByCode_.find(code);
        if (heldLogins_ >= options_.mostHeldLogins ||
            (held != heldByCode_.end() && held->second >= mostOfOneCode))
            return false;
        ++heldByCode_[code];
        ++heldLogins_;
    }
    std::this_thread::sleep_for(hold.delay);
    const std::lock_guard lock(holding_);
    if (--heldByCode_[code] == 0)
        heldByCode_.erase(code);
    --heldLogins_;
    return true;
}

void SessionStore::recordLoginFailure(Sql &sql, const QString &operatorCode) {
    // Counts past their memory are dropped, or codes made up by the million would each keep a row for good.
    sql.execute(QStringLiteral("DELETE FROM LOGINFALHA WHERE DTHRULTFALHA <= :desde"),
                {{QStringLiteral("desde"), now() - options_.failureMemory.count()}});
    // A count older than the memory starts again from one.
    sql.execute(
        QStringLiteral("INSERT INTO LOGINFALHA (CDOPERADOR, NRFALHAS, DTHRULTFALHA) VALUES (:operador, 1, "
                       ":agora) ON CONFLICT (CDOPERADOR) DO UPDATE SET NRFALHAS = CASE WHEN "
                       "LOGINFALHA.DTHRULTFALHA > :desde THEN LOGINFALHA.NRFALHAS + 1 ELSE 1 END, "
                       "DTHRULTFALHA = :agora"),
        {{QStringLiteral("operador"), failureKey(operatorCode)},
         {QStringLiteral("agora"), now()},
         {QStringLiteral("desde"), now() - options_.failureMemory.count()}});
}

void SessionStore::clearLoginFailures(Sql &sql, const QString &operatorCode) {
    sql.execute(QStringLiteral("DELETE FROM LOGINFALHA WHERE CDOPERADOR = :operador"),
                {{QStringLiteral("operador"), failureKey(operatorCode)}});
}

} // namespace bco::server
