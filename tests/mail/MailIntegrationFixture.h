#pragma once

#include "SmtpTestServer.h"
#include "form/Status.h"
#include "mail/CurlComponents.h"
#include "support/RecordingForm.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>
#include <memory>

namespace orvane::test {

// Drives the Send button end to end against the real components and a real server, and
// remembers the status of the last Send so that tests can check its kind.
class MailIntegrationFixture : public ::testing::Test
{
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    void SetUp() override;

    // Starts a server; fails the test when it cannot.
    void startServer(SmtpTestServer &server, const SmtpTestServer::Options &options);
    void startScripted(SmtpTestServer &server, const QString &scenario, const QString &file = {});

    // The form filled for a send to 127.0.0.1:port with nothing ticked.
    void fillForm(int port);
    void tickLogin(const QString &user, const QString &password);

    // Components that trust the test CA, with short time-outs.
    mail::TransportOptions options() const;
    void click(const mail::TransportOptions &options);
    void click() { click(options()); }

    // One success: no box, the status line set.
    void expectSent();
    // One failure box of that kind, the status line empty, the password nowhere in the text.
    void expectOneFailure(form::StatusKind kind, const QStringList &mentions = {});

    static TestCertificates &certificates() { return *s_certificates; }
    static QString createFile(const QString &name, const QByteArray &content);

    RecordingForm form;
    form::Status lastSend;
    QString password = QStringLiteral("pw-Secret-77");

private:
    static inline std::unique_ptr<TestCertificates> s_certificates;
    static inline std::unique_ptr<QTemporaryDir> s_files;
    static inline QString s_missing;
};

} // namespace orvane::test
