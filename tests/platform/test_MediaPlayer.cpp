// The sound file player: which files it refuses at once, a back end that hangs or refuses, and
// real playing through GStreamer into a sound server of the test's own.

#include "platform/Clock.h"
#include "platform/MediaPlayer.h"
#include "support/FakeSound.h"
#include "support/RecordedSoundServer.h"
#include "support/SoundFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using platform::MediaPlayer;
using platform::soundFileProblem;

namespace {

// Long enough to be waited for, bounded so that a hang fails the test instead of the suite.
constexpr int kEndTimeoutMs = 15000;

class MediaPlayerTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    void writeText(const char* name, const QByteArray& bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(MediaPlayerTest, JudgesAFileByItsContent)
{
    ASSERT_TRUE(testing_support::writeWav(path("tone.wav"), 200));
    ASSERT_TRUE(testing_support::writeWav(path("tone-without-extension"), 200));
    writeText("text.wav", "not a sound\n");
    writeText("empty.wav", "");
    const QByteArray wav = testing_support::wavBytes(200);
    writeText("cut-header.wav", wav.left(30));
    writeText("cut-data.wav", wav.left(wav.size() - 10));
    writeText("no-data.wav", wav.left(44));
    QByteArray streamed = wav; // a writer that did not know the length
    streamed.replace(40, 4, QByteArray(4, '\xff'));
    writeText("streamed.wav", streamed);
    QDir(dir.path()).mkdir(QStringLiteral("folder.wav"));
    const struct {
        const char* file;
        const char* problem;
    } cases[] = {
        { "tone.wav", "" },
        { "tone-without-extension", "" },
        { "missing.wav", "ファイルが見つかりません。" },
        { "folder.wav", "ファイルではありません。" },
        { "text.wav", "音声ファイルではありません。" },
        { "empty.wav", "音声ファイルではありません。" },
        { "cut-header.wav", "WAVファイルのヘッダーが読めません。" },
        { "cut-data.wav", "音声データが途中で切れています。" },
        { "no-data.wav", "音声データが途中で切れています。" },
        { "streamed.wav", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(soundFileProblem(path(c.file)), QString::fromUtf8(c.problem)) << c.file;
    EXPECT_EQ(soundFileProblem(QString()), "ファイル名がありません。");
}

TEST_F(MediaPlayerTest, RefusesAnUnreadableFile)
{
    ASSERT_TRUE(testing_support::writeWav(path("locked.wav"), 200));
    QFile::setPermissions(path("locked.wav"), QFileDevice::WriteOwner);
    QFile probe(path("locked.wav"));
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running as root: this user reads a file whatever its permissions say";
    MediaPlayer player;
    QString problem;
    EXPECT_FALSE(player.Open(path("locked.wav"), &problem));
    EXPECT_EQ(problem, "ファイルを読み込めません。");
    EXPECT_TRUE(player.FileName().isEmpty());
    EXPECT_FALSE(player.Play());
}

// Through GStreamer into a sound server: a tone plays to its end and is heard; the files
// GStreamer fails on are said in Japanese, its own English kept as a detail, at each play; the
// player plays again after a failure.
TEST_F(MediaPlayerTest, PlaysIntoASoundServerAndSaysWhyAFileFails)
{
    using testing_support::RecordedSoundServer;
    RecordedSoundServer server;
    TAVO_START_SOUND_SERVER(server);
    ASSERT_TRUE(testing_support::writeWav(path("tone.wav"), 300));
    ASSERT_TRUE(testing_support::writeBrokenWav(path("codec.wav")));
    ASSERT_TRUE(testing_support::writeWav(path("gone.wav"), 300));
    // An ID3 tag, then text: sound by its first bytes, and nothing GStreamer can decode.
    writeText(
        "tagged.mp3", QByteArray("ID3\x03\0\0\0\0\0\x0a", 10) + QByteArray(10, '\0') + QByteArray(600, 'x'));
    const struct {
        const char* file;
        const char* outcome; // "ended", or how the failure begins
    } cases[] = {
        { "tone.wav", "ended" },
        { "codec.wav", "この形式の音声を再生する部品（デコーダー）がありません。詳細: " },
        { "codec.wav", "この形式の音声を再生する部品（デコーダー）がありません。詳細: " },
        { "tagged.mp3", "この形式の音声を再生する部品（デコーダー）がありません。詳細: " },
        { "gone.wav", "ファイルが見つかりません。詳細: " },
        { "tone.wav", "ended" },
    };
    MediaPlayer player;
    QString outcome;
    QObject::connect(&player, &MediaPlayer::ended, [&] { outcome = "ended"; });
    QObject::connect(&player, &MediaPlayer::failed, [&](const QString& m) { outcome = m; });
    QObject::connect(&player, &MediaPlayer::noOutput, [&](const QString& m) { outcome = "no output: " + m; });
    for (const auto& c : cases) {
        outcome.clear();
        ASSERT_TRUE(player.Open(path(c.file))) << c.file;
        if (qstrcmp(c.file, "gone.wav") == 0)
            QFile::remove(path(c.file)); // taken at the reset, gone by its cue
        ASSERT_TRUE(player.Play());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !outcome.isEmpty(); }, kEndTimeoutMs)) << c.file;
        EXPECT_TRUE(outcome.startsWith(QString::fromUtf8(c.outcome)))
            << c.file << ": " << outcome.toStdString();
        EXPECT_FALSE(player.playing());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.sounds().size() == 2; }, kEndTimeoutMs));
    for (const auto& heard : server.sounds())
        EXPECT_NEAR(heard.endMs - heard.beginMs, 300, 20);
}

TEST_F(MediaPlayerTest, StopsAndRestartsWhilePlaying)
{
    ASSERT_TRUE(testing_support::writeWav(path("long.wav"), 5000));
    MediaPlayer player;
    QSignalSpy ended(&player, &MediaPlayer::ended);
    ASSERT_TRUE(player.Open(path("long.wav")));
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(player.playing());
    player.Stop();
    EXPECT_FALSE(player.playing());
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(player.playing());
    player.Close();
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(ended.size(), 0);
}

class FakeBackEndTest : public MediaPlayerTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testing_support::writeWav(path("tone.wav"), 200));
        player = std::make_unique<MediaPlayer>(thread, sound.factory(), clock);
        ASSERT_TRUE(player->Open(path("tone.wav")));
    }
    void TearDown() override { sound.answer(); }
    // Waits for the sound thread to have logged `n` entries.
    QStringList logOf(int n)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return sound.log().size() >= n; }, kEndTimeoutMs));
        return sound.log();
    }

    testing_support::FakeSoundSystem sound;
    platform::SoundThread thread;
    platform::ManualClock clock;
    std::unique_ptr<MediaPlayer> player;
};

// No call waits for a back end that hangs in a stop; the player says so once, a second after it
// asked, and after three seconds gives up the play it asked for rather than sound it late.
TEST_F(FakeBackEndTest, NoCallWaitsOnABackEndThatHangs)
{
    QSignalSpy notAnswering(player.get(), &MediaPlayer::notAnswering);
    sound.hang();
    player->Play();
    logOf(1);
    player->Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sound.hung(); }, kEndTimeoutMs));
    player->Play(); // waits behind the stop
    clock.advanceMs(MediaPlayer::NotAnsweringMs - 1);
    player->checkAnswer();
    EXPECT_EQ(notAnswering.size(), 0);
    clock.advanceMs(1);
    player->checkAnswer();
    EXPECT_EQ(notAnswering.size(), 1);
    EXPECT_TRUE(player->playing()) << "a slow back end may still play it";
    clock.advanceMs(MediaPlayer::GiveUpMs - MediaPlayer::NotAnsweringMs);
    player->checkAnswer();
    player->checkAnswer();
    EXPECT_EQ(notAnswering.size(), 1) << "said once";
    EXPECT_FALSE(player->playing());

    sound.answer();
    EXPECT_EQ(logOf(3), QStringList({ "play tone.wav", "stop", "stop" })) << "the late play never sounds";
    player->Play();
    EXPECT_EQ(logOf(4).last(), "play tone.wav") << "answering again";

    sound.hang();
    player->Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sound.hung(); }, kEndTimeoutMs));
    player.reset(); // a player that goes does not wait for its back end either
}

// A play that the back end refused is tried again at the next play, and each failure is said.
TEST_F(FakeBackEndTest, APlayThatFailedIsTriedAgainAtTheNextPlay)
{
    QSignalSpy failed(player.get(), &MediaPlayer::failed);
    QSignalSpy started(player.get(), &MediaPlayer::started);
    sound.refuse(2);
    for (int play = 1; play <= 3; ++play) {
        ASSERT_TRUE(player->Play());
        ASSERT_TRUE(QTest::qWaitFor([&] { return failed.size() + started.size() == play; }, kEndTimeoutMs));
    }
    EXPECT_EQ(sound.log(), QStringList({ "fail tone.wav", "fail tone.wav", "play tone.wav" }));
    EXPECT_EQ(failed.size(), 2);
    EXPECT_EQ(started.size(), 1);
}

// The back end's end does not say that the file was heard: a play that ended before its sound
// reached the output failed, and the next play tries again.
TEST_F(FakeBackEndTest, APlayThatEndsWithoutHavingStartedFails)
{
    QSignalSpy failed(player.get(), &MediaPlayer::failed);
    QSignalSpy started(player.get(), &MediaPlayer::started);
    QSignalSpy ended(player.get(), &MediaPlayer::ended);
    sound.endUnheard(1);
    ASSERT_TRUE(player->Play());
    ASSERT_TRUE(failed.wait(kEndTimeoutMs));
    EXPECT_EQ(failed[0][0].toString(), "再生が始まらないまま終わりました");
    EXPECT_FALSE(player->playing());
    ASSERT_TRUE(player->Play());
    ASSERT_TRUE(started.wait(kEndTimeoutMs));
    EXPECT_EQ(sound.log(), QStringList({ "end tone.wav", "play tone.wav" }));
    EXPECT_EQ(ended.size(), 0);
}
