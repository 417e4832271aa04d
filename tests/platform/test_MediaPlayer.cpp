// The sound file player: which files it refuses at once, a back end that hangs or refuses, and
// real playing through GStreamer, which on a machine without a sound device plays into a silent
// sink.

#include "platform/Clock.h"
#include "platform/MediaPlayer.h"
#include "support/FakeSound.h"
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

TEST_F(MediaPlayerTest, PlaysAGeneratedWavToItsEndAgainAndReadiedAhead)
{
    ASSERT_TRUE(testing_support::writeWav(path("tone.wav"), 300));
    MediaPlayer player;
    QSignalSpy ended(&player, &MediaPlayer::ended);
    QSignalSpy failed(&player, &MediaPlayer::failed);
    ASSERT_TRUE(player.Open(path("tone.wav")));
    EXPECT_EQ(player.FileName(), path("tone.wav"));
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(ended.wait(kEndTimeoutMs)) << "the tone never reached its end";
    EXPECT_FALSE(player.playing());
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(ended.wait(kEndTimeoutMs));
    // Readied ahead, paused at its start: the play only starts it, and it plays whole.
    player.Prepare();
    EXPECT_TRUE(player.prepared());
    QTest::qWait(200);
    ASSERT_TRUE(player.Play());
    EXPECT_FALSE(player.prepared());
    ASSERT_TRUE(ended.wait(kEndTimeoutMs));
    EXPECT_EQ(ended.size(), 3);
    EXPECT_EQ(failed.size(), 0);
    player.Close();
    EXPECT_TRUE(player.FileName().isEmpty());
    EXPECT_FALSE(player.Play());
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

TEST_F(MediaPlayerTest, ReportsAFileTheBackEndRefusesAtEachPlayAndRecovers)
{
    ASSERT_TRUE(testing_support::writeBrokenWav(path("broken.wav")));
    ASSERT_TRUE(testing_support::writeWav(path("tone.wav"), 200));
    MediaPlayer player;
    QSignalSpy failed(&player, &MediaPlayer::failed);
    QSignalSpy ended(&player, &MediaPlayer::ended);
    ASSERT_TRUE(player.Open(path("broken.wav"))) << "a whole WAV file";
    for (int play = 1; play <= 2; ++play) {
        EXPECT_TRUE(player.Play()) << "tried again";
        ASSERT_TRUE(failed.wait(kEndTimeoutMs));
        QTest::qWait(100);
        EXPECT_EQ(failed.size(), play) << "one failure, one report";
        EXPECT_FALSE(player.playing());
    }
    ASSERT_TRUE(player.Open(path("tone.wav")));
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(ended.wait(kEndTimeoutMs));
    EXPECT_EQ(failed.size(), 2);
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

// The back end's end of media does not say that the file was heard: a play that ended before its
// position moved, or far short of the file's length, failed, and the next play tries again. A
// file too short for its position to be told counts as played.
TEST_F(FakeBackEndTest, APlayThatEndsWithoutHavingStartedFails)
{
    QSignalSpy failed(player.get(), &MediaPlayer::failed);
    QSignalSpy ended(player.get(), &MediaPlayer::ended);
    const struct {
        qint64 positionMs, durationMs;
        const char* failure; // empty: ended
    } cases[] = {
        { 0, 3000, "再生が始まらないまま終わりました" },
        { 0, 0, "再生が始まらないまま終わりました" }, // a length the back end does not know
        { 1400, 3000, "再生が途中で終わりました" },
        { 1500, 3000, "" },
        { 0, MediaPlayer::ShortFileMs - 1, "" },
        { 0, MediaPlayer::ShortFileMs, "再生が始まらないまま終わりました" },
    };
    for (const auto& c : cases) {
        failed.clear();
        ended.clear();
        sound.endUnheard(1, { c.positionMs, c.durationMs });
        ASSERT_TRUE(player->Play());
        ASSERT_TRUE(QTest::qWaitFor([&] { return failed.size() + ended.size() == 1; }, kEndTimeoutMs));
        EXPECT_EQ(failed.isEmpty() ? QString() : failed[0][0].toString(), QString::fromUtf8(c.failure))
            << c.positionMs << " of " << c.durationMs;
        EXPECT_FALSE(player->playing());
    }
    QSignalSpy started(player.get(), &MediaPlayer::started);
    ASSERT_TRUE(player->Play());
    ASSERT_TRUE(started.wait(kEndTimeoutMs));
    EXPECT_EQ(sound.log().last(), "play tone.wav");
}
