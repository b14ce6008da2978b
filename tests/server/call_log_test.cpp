#include <gtest/gtest.h>

#include "server/transport/call_log.h"

namespace bco::server {
namespace {

// What a caller puts in a method's name or a Login's operator code stays on its call's line.
TEST(CallLog, OneCallIsOneLineWhateverTheCallerSent) {
    const struct Case {
        const char *name;
        QString method, outcome;
        QByteArray line;
    } cases[] = {
        {"a plain call", QStringLiteral("getSaldoDia"), QStringLiteral("ok"), "getSaldoDia 1.5 ms ok\n"},
        {"a method name that would write a second call", QStringLiteral("x\nGetDeletaLanc 1.0 ms ok"),
         QStringLiteral("refused"), "x\\nGetDeletaLanc 1.0 ms ok 1.5 ms refused\n"},
        {"an operator code with a carriage return and a bell", QStringLiteral("Login"),
         QStringLiteral("refused DEMO\r\a"), "Login 1.5 ms refused DEMO\\r\\x07\n"},
        {"accented text as it is", QStringLiteral("Login"), QStringLiteral("ok JOÃO"),
         QStringLiteral("Login 1.5 ms ok JOÃO\n").toUtf8()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(callLogLine(c.method, 1.5, c.outcome), c.line);
    }
}

} // namespace
} // namespace bco::server
