#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>
#include <string>

namespace orvane::test {

// Whether a test server that cannot start must fail the tests instead of skipping them: on CI
// a missing server is a failure, never a silent skip; elsewhere the machine may just lack the
// package.
inline bool serverRequired()
{
    return qgetenv("CI") == "true";
}

inline std::string reason(const QString &why)
{
    return why.toStdString();
}

inline std::string reason(const std::string &why)
{
    return why;
}

} // namespace orvane::test

// In a fixture's SetUp (or a helper it calls): unless ok, fails on CI and skips elsewhere, with
// why as the message. Both end the function, as FAIL() and GTEST_SKIP() do.
#define ORVANE_REQUIRE_SERVER(ok, why)                                                             \
    do {                                                                                           \
        if (!(ok)) {                                                                               \
            if (::orvane::test::serverRequired())                                                  \
                FAIL() << ::orvane::test::reason(why);                                             \
            GTEST_SKIP() << ::orvane::test::reason(why);                                           \
        }                                                                                          \
    } while (false)
