#include "settings/AdministratorGroup.h"
#include "settings/QSettingsStore.h"
#include "settings/SettingsHandlers.h"
#include "support/RecordingForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using orvane::settings::Form_Load;
using orvane::settings::Form_Unload;
using orvane::settings::QSettingsStore;
using orvane::settings::SaveReport;
using orvane::test::RecordingForm;
using Control = orvane::form::Control;

namespace {

const Control rememberedBoxes[] = {Control::txtSMTP, Control::txtPort, Control::txtFrom,
                                   Control::txtTo, Control::txtSubject};

class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        useConfigHome(m_home.path());
    }

    static void useConfigHome(const QString &path)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    }

    QString configFile() const { return m_home.filePath("Quarrow Orvane/orvane.conf"); }

    void writeConfig(const QByteArray &contents) const
    {
        ASSERT_TRUE(QDir(m_home.path()).mkpath("Quarrow Orvane"));
        QFile file(configFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QString regularFile(const QString &name) const
    {
        const QString path = m_home.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }

    static RecordingForm loaded()
    {
        RecordingForm form;
        QSettingsStore store;
        Form_Load(form, store);
        return form;
    }

    static void saveFrom(RecordingForm &form, SaveReport report = SaveReport::MessageBox)
    {
        QSettingsStore store;
        int cancel = 0;
        Form_Unload(form, store, cancel, report);
        EXPECT_EQ(cancel, 0);
    }

    QTemporaryDir m_home;
};

TEST_F(SettingsTest, FirstRunGivesTheDefaultsInOrder)
{
    RecordingForm form = loaded();
    EXPECT_EQ(form.calls, QStringList({"setText txtSMTP=localhost", "setText txtPort=25",
                                       "setText txtFrom=scanner@example.com",
                                       "setText txtTo=", "setText txtSubject="}));
}

TEST_F(SettingsTest, CloseWritesAllFiveKeysToTheUserConfigFile)
{
    RecordingForm form = loaded();
    form.calls.clear();
    saveFrom(form);

    EXPECT_EQ(form.calls, QStringList({"text txtSMTP", "text txtPort", "text txtFrom", "text txtTo",
                                       "text txtSubject"}));
    EXPECT_TRUE(form.boxes.empty());
    QFile file(configFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    EXPECT_TRUE(contents.contains("[Setting]"));
    EXPECT_TRUE(contents.contains("SMTP%20Server=localhost"));
    EXPECT_TRUE(contents.contains("To=\n"));
    EXPECT_TRUE(contents.contains("Subject=\n"));
}

// The administrator's OAuth group: the user's file over the system-wide one, key by key, read
// only, and still there, unchanged and not copied, after the five values are saved.
TEST_F(SettingsTest, AdministratorGroupIsReadOverTheSystemFileAndSurvivesTheSave)
{
    QTemporaryDir system;
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system.path());
    ASSERT_TRUE(QDir(system.path()).mkpath("Quarrow Orvane"));
    QFile systemFile(system.filePath("Quarrow Orvane/orvane.conf"));
    ASSERT_TRUE(systemFile.open(QIODevice::WriteOnly));
    systemFile.write("[OAuth]\nGoogle\\ClientId=g-site\nMicrosoft365\\ClientId=m-site\n");
    systemFile.close();
    writeConfig("[OAuth]\nMicrosoft365\\ClientId=m-user\nMicrosoft365\\Servers=a.example, "
                "b.example\n");

    const QMap<QString, QString> expected{{"Google/ClientId", "g-site"},
                                          {"Microsoft365/ClientId", "m-user"},
                                          {"Microsoft365/Servers", "a.example, b.example"}};
    EXPECT_EQ(orvane::settings::readAdministratorGroup("OAuth"), expected);
    RecordingForm form = loaded();
    saveFrom(form);
    EXPECT_EQ(orvane::settings::readAdministratorGroup("OAuth"), expected);
    QFile file(configFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("g-site"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, m_home.filePath("none"));
}

TEST_F(SettingsTest, AwkwardValuesRoundTripExactly)
{
    const QStringList values = {
            QStringLiteral("  mail.example.com  "),
            QStringLiteral("a=b%20;c\"d'e"),
            QStringLiteral("Jürgen Größe <jg@example.com>, \"Doe, Jane\" <jd@example.com>"),
            QString(),
            QString(100000, QLatin1Char('x')) + QStringLiteral("\tend"),
    };
    RecordingForm form;
    for (int i = 0; i < 5; ++i)
        form.preset(rememberedBoxes[i], values[i]);
    saveFrom(form);

    RecordingForm again = loaded();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(again.textOf(rememberedBoxes[i]), values[i]) << i;
}

TEST_F(SettingsTest, EmptyStoredValueStaysEmptyAndLettersInThePortAreKept)
{
    RecordingForm form;
    form.preset(Control::txtSMTP, QString());
    form.preset(Control::txtPort, QStringLiteral("abc"));
    form.preset(Control::txtFrom, QString());
    saveFrom(form);

    RecordingForm again = loaded();
    EXPECT_EQ(again.textOf(Control::txtSMTP), QString());
    EXPECT_EQ(again.textOf(Control::txtPort), QStringLiteral("abc"));
    EXPECT_EQ(again.textOf(Control::txtFrom), QString());
}

TEST_F(SettingsTest, UnreadableOrForeignValuesFallBackKeyByKey)
{
    writeConfig("[Setting]\n"
                "SMTP%20Server=@Rect(1 2 3 4)\n"
                "Port=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5garbage)\n"
                "From=@ByteArray(\\xff\\xfe)\n"
                "To=a@example.com, b@example.com\n"
                "Subject=kept\n");
    RecordingForm form = loaded();
    EXPECT_EQ(form.textOf(Control::txtSMTP), QStringLiteral("localhost"));
    EXPECT_EQ(form.textOf(Control::txtPort), QStringLiteral("25"));
    EXPECT_EQ(form.textOf(Control::txtFrom), QStringLiteral("scanner@example.com"));
    EXPECT_EQ(form.textOf(Control::txtTo), QStringLiteral("a@example.com, b@example.com"));
    EXPECT_EQ(form.textOf(Control::txtSubject), QStringLiteral("kept"));
}

TEST_F(SettingsTest, CorruptFileGivesDefaults)
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 131) % 256));
    writeConfig(junk);
    RecordingForm form = loaded();
    EXPECT_EQ(form.textOf(Control::txtSMTP), QStringLiteral("localhost"));
    EXPECT_EQ(form.textOf(Control::txtPort), QStringLiteral("25"));
}

TEST_F(SettingsTest, FolderThatCannotBeCreatedGivesOneBoxWithTheReason)
{
    // A regular file where the config folder's parent should be: fails even as root.
    useConfigHome(regularFile("not-a-folder"));

    RecordingForm form = loaded();
    EXPECT_EQ(form.textOf(Control::txtSMTP), QStringLiteral("localhost"));
    saveFrom(form);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_TRUE(form.boxes[0].text.startsWith("Settings could not be saved: "));
    EXPECT_TRUE(form.boxes[0].text.contains("not-a-folder")) << qPrintable(form.boxes[0].text);
    EXPECT_EQ(form.boxes[0].caption, QStringLiteral("orvane"));
}

TEST_F(SettingsTest, SaveFailureOnSessionEndGoesToStandardErrorNotABox)
{
    // A regular file where the config folder's parent should be: fails even as root.
    useConfigHome(regularFile("not-a-folder"));

    RecordingForm form = loaded();
    testing::internal::CaptureStderr();
    saveFrom(form, SaveReport::StandardError);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_NE(err.find("Settings could not be saved: "), std::string::npos) << err;
}

TEST_F(SettingsTest, AFailedCommitIsAStatusThatSaysWhy)
{
    useConfigHome(regularFile("not-a-folder"));

    QSettingsStore store;
    store.write("Quarrow Orvane", "Setting", "Port", "25");
    const orvane::form::Status status = store.commit();
    EXPECT_EQ(status.kind, orvane::form::StatusKind::SettingsNotSaved);
    EXPECT_NE(status.nativeCode, long(QSettings::NoError));
    EXPECT_TRUE(status.description.contains("not-a-folder")) << qPrintable(status.description);

    useConfigHome(m_home.path());
    QSettingsStore fine;
    fine.write("Quarrow Orvane", "Setting", "Port", "25");
    EXPECT_TRUE(fine.commit().ok());
}

TEST_F(SettingsTest, ConfigFileReplacedByAFolder)
{
    ASSERT_TRUE(QDir(m_home.path()).mkpath("Quarrow Orvane/orvane.conf"));
    RecordingForm form = loaded();
    EXPECT_EQ(form.textOf(Control::txtSMTP), QStringLiteral("localhost"));
    saveFrom(form);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_TRUE(form.boxes[0].text.contains("is a folder")) << qPrintable(form.boxes[0].text);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
