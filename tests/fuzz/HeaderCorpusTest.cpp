// Replays the header encoder's fuzz corpus through an independent reader: every input is
// encoded here and decoded by Python's email package (/usr/bin/python3), which must give the
// text back.
#include "HeaderInput.h"
#include "mail/TextChecks.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace orvane;

namespace {

const char *kindName(fuzz::HeaderKind kind)
{
    switch (kind) {
    case fuzz::HeaderKind::Subject:
        return "subject";
    case fuzz::HeaderKind::DisplayName:
        return "display_name";
    case fuzz::HeaderKind::FileName:
        return "file_name";
    case fuzz::HeaderKind::EncodedWords:
        return "encoded_words";
    }
    return "";
}

struct Case
{
    QString file;
    fuzz::HeaderKind kind;
    QString text;
    QByteArray header;
};

TEST(HeaderCorpus, PythonsEmailPackageReadsBackEveryText)
{
    const QDir corpus(QStringLiteral(ORVANE_FUZZ_DIR "/corpus/header_encoder"));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 20) << "the seed corpus is missing";

    QList<Case> cases;
    QByteArray requests;
    for (const QString &name : files) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const fuzz::HeaderInput input = fuzz::splitHeaderInput(file.readAll());
        const form::Result<QString> text = mail::decodeUtf8Strict(input.value);
        if (!text.status.ok())
            continue; // refused before encoding; the fuzz target checks that
        Case c{name, input.kind, text.value, fuzz::encodeHeader(input.kind, text.value)};
        QJsonObject request{{"kind", kindName(c.kind)}, {"header", QString::fromLatin1(c.header)}};
        requests += QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
        cases.append(c);
    }
    ASSERT_GE(cases.size(), 20);

    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(ORVANE_FUZZ_DIR "/decode_headers.py")});
    ASSERT_TRUE(python.waitForStarted()) << "/usr/bin/python3 is missing";
    python.write(requests);
    python.closeWriteChannel();
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QList<QByteArray> replies = python.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(replies.size(), cases.size());

    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case &c = cases.at(i);
        const QJsonObject reply = QJsonDocument::fromJson(replies.at(i)).object();
        SCOPED_TRACE(c.file.toStdString() + ": " + c.header.toStdString());
        ASSERT_FALSE(reply.contains("error")) << reply.value("error").toString().toStdString();
        if (c.kind == fuzz::HeaderKind::DisplayName) {
            // Runs of white space in a name are folded into one by the encoder.
            EXPECT_EQ(reply.value("text").toString().toStdString(),
                      c.text.simplified().toStdString());
            EXPECT_EQ(reply.value("address").toString().toStdString(), fuzz::fuzzMailAddress);
        } else {
            EXPECT_EQ(reply.value("text").toString().toStdString(), c.text.toStdString());
        }
        if (c.kind == fuzz::HeaderKind::FileName) {
            EXPECT_EQ(reply.value("name").toString().toStdString(), c.text.toStdString());
        }
    }
}

} // namespace
