// The administrator's OAuth group read into providers: the presets filled in from a client ID,
// overrides, the administrator's own providers, and configurations that cannot be used.
#include "mail/oauth/ProviderTable.h"

#include <gtest/gtest.h>

using namespace orvane::mail::oauth;

namespace {

struct Row
{
    const char *name;
    QMap<QString, QString> keys;
    const char *server;
    // Expected for the provider of that server; a null issuer: no provider at all.
    const char *issuer;
    const char *scope = "";
    const char *problem = ""; // a part of the problem's text; empty: usable
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.name;
}

// clang-format off
const Row rows[] = {
    {"MicrosoftFromAClientIdAlone", {{"Microsoft365/ClientId", "c1"}}, "SMTP.Office365.com",
     "https://login.microsoftonline.com/organizations/v2.0",
     "https://outlook.office.com/SMTP.Send offline_access"},
    {"MicrosoftPersonalServerAndTenant",
     {{"Microsoft365/ClientId", "c1"}, {"Microsoft365/Tenant", "contoso.com"}},
     "smtp-mail.outlook.com", "https://login.microsoftonline.com/contoso.com/v2.0",
     "https://outlook.office.com/SMTP.Send offline_access"},
    {"GoogleWithItsSecret", {{"Google/ClientId", "g"}, {"Google/ClientSecret", "s"}},
     "smtp.gmail.com", "https://accounts.google.com", "https://mail.google.com/"},
    {"GoogleRefusesTheDeviceFlow", {{"Google/ClientId", "g"}, {"Google/Flow", "device"}},
     "smtp.gmail.com", "https://accounts.google.com", "https://mail.google.com/", "device flow"},
    {"PresetNotConfiguredSignsInForNothing", {{"Google/ClientId", "g"}}, "smtp.office365.com",
     nullptr},
    {"PresetWithoutClientId", {{"Microsoft365/Tenant", "t"}}, "smtp.office365.com",
     "https://login.microsoftonline.com/t/v2.0",
     "https://outlook.office.com/SMTP.Send offline_access", "no ClientId"},
    {"OwnProviderByIssuerAndServers",
     {{"Corp/Issuer", "https://id.corp.example"}, {"Corp/ClientId", "c"},
      {"Corp/Scope", "smtp.send"}, {"Corp/Servers", "mail.corp.example, smtp.corp.example"}},
     "smtp.corp.example", "https://id.corp.example", "smtp.send"},
    {"OwnProviderWinsOverThePresetForTheSameServer",
     {{"Microsoft365/ClientId", "c1"}, {"Relay/Issuer", "https://id.corp.example"},
      {"Relay/ClientId", "c"}, {"Relay/Scope", "s"}, {"Relay/Servers", "smtp.office365.com"}},
     "smtp.office365.com", "https://id.corp.example", "s"},
    {"OwnProviderWithoutIssuerOrEndpoints",
     {{"Corp/ClientId", "c"}, {"Corp/Scope", "s"}, {"Corp/Servers", "mail.corp.example"}},
     "mail.corp.example", "", "s", "neither an Issuer"},
    {"UnknownFlow", {{"Microsoft365/ClientId", "c1"}, {"Microsoft365/Flow", "popup"}},
     "smtp.office365.com", "https://login.microsoftonline.com/organizations/v2.0",
     "https://outlook.office.com/SMTP.Send offline_access", "Flow=popup"},
};
// clang-format on

class ProviderTableTest : public ::testing::TestWithParam<Row>
{};

TEST_P(ProviderTableTest, ServerFindsItsProvider)
{
    const Row &row = GetParam();
    const ProviderTable table = ProviderTable::fromKeys(row.keys);
    const ConfiguredProvider *entry = table.forServer(QString::fromLatin1(row.server));
    if (!row.issuer) {
        EXPECT_EQ(entry, nullptr);
        return;
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->provider.issuer, row.issuer);
    EXPECT_EQ(entry->provider.scope, row.scope);
    if (*row.problem)
        EXPECT_TRUE(entry->problem.contains(QLatin1String(row.problem)))
                << entry->problem.toStdString();
    else
        EXPECT_TRUE(entry->problem.isEmpty()) << entry->problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Configurations, ProviderTableTest, ::testing::ValuesIn(rows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ProviderTable, GooglePresetAsksForARefreshTokenAndAnOverrideReplacesThat)
{
    const auto parameters = [](const QMap<QString, QString> &keys) {
        return ProviderTable::fromKeys(keys)
                .forServer("smtp.gmail.com")
                ->provider.authorizationParameters;
    };
    using Pairs = QList<QPair<QString, QString>>;
    EXPECT_EQ(parameters({{"Google/ClientId", "g"}}),
              (Pairs{{"access_type", "offline"}, {"prompt", "consent"}}));
    EXPECT_EQ(
            parameters({{"Google/ClientId", "g"}, {"Google/AuthorizationParameters", "hd=x.com"}}),
            (Pairs{{"hd", "x.com"}}));
}

} // namespace
