// The sound file player: which files it refuses at once, and real playing through GStreamer,
// which on a machine without a sound device plays into a silent sink.

#include "platform/MediaPlayer.h"
#include "support/SoundFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using platform::MediaPlayer;
using platform::SoundFileProblem;

namespace {

// Long enough to be waited for, bounded so that a hang fails the test instead of the suite.
constexpr int kEndTimeoutMs = 15000;

class MediaPlayerTest : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    void WriteText(const char* name, const QByteArray& bytes)
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(MediaPlayerTest, JudgesAFileByItsContent)
{
    ASSERT_TRUE(testing_support::WriteWav(Path("tone.wav"), 200));
    ASSERT_TRUE(testing_support::WriteWav(Path("tone-without-extension"), 200));
    WriteText("text.wav", "not a sound\n");
    WriteText("empty.wav", "");
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(SoundFileProblem(Path(c.file)), QString::fromUtf8(c.problem)) << c.file;
    EXPECT_EQ(SoundFileProblem(QString()), "ファイル名がありません。");
}

TEST_F(MediaPlayerTest, RefusesAnUnreadableFile)
{
    ASSERT_TRUE(testing_support::WriteWav(Path("locked.wav"), 200));
    QFile::setPermissions(Path("locked.wav"), QFileDevice::WriteOwner);
    QFile probe(Path("locked.wav"));
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running as root: this user reads a file whatever its permissions say";
    MediaPlayer player;
    QString problem;
    EXPECT_FALSE(player.Open(Path("locked.wav"), &problem));
    EXPECT_EQ(problem, "ファイルを読み込めません。");
    EXPECT_TRUE(player.FileName().isEmpty());
    EXPECT_FALSE(player.Play());
}

TEST_F(MediaPlayerTest, PlaysAGeneratedWavToItsEndAndAgainFromTheStart)
{
    ASSERT_TRUE(testing_support::WriteWav(Path("tone.wav"), 300));
    MediaPlayer player;
    QSignalSpy ended(&player, &MediaPlayer::ended);
    QSignalSpy failed(&player, &MediaPlayer::failed);
    ASSERT_TRUE(player.Open(Path("tone.wav")));
    EXPECT_EQ(player.FileName(), Path("tone.wav"));
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(ended.wait(kEndTimeoutMs)) << "the tone never reached its end";
    EXPECT_FALSE(player.Playing());
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(ended.wait(kEndTimeoutMs));
    EXPECT_EQ(ended.size(), 2);
    EXPECT_EQ(failed.size(), 0);
    player.Close();
    EXPECT_TRUE(player.FileName().isEmpty());
    EXPECT_FALSE(player.Play());
}

TEST_F(MediaPlayerTest, StopsAndRestartsWhilePlaying)
{
    ASSERT_TRUE(testing_support::WriteWav(Path("long.wav"), 5000));
    MediaPlayer player;
    QSignalSpy ended(&player, &MediaPlayer::ended);
    ASSERT_TRUE(player.Open(Path("long.wav")));
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(player.Playing());
    player.Stop();
    EXPECT_FALSE(player.Playing());
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(player.Playing());
    player.Close();
    EXPECT_FALSE(player.Playing());
    EXPECT_EQ(ended.size(), 0);
}

TEST_F(MediaPlayerTest, ReportsAFileTheBackEndRefusesOnceAndRecovers)
{
    ASSERT_TRUE(testing_support::WriteBrokenWav(Path("broken.wav")));
    ASSERT_TRUE(testing_support::WriteWav(Path("tone.wav"), 200));
    MediaPlayer player;
    QSignalSpy failed(&player, &MediaPlayer::failed);
    QSignalSpy ended(&player, &MediaPlayer::ended);
    ASSERT_TRUE(player.Open(Path("broken.wav"))) << "its first bytes say WAV";
    player.Play();
    ASSERT_TRUE(failed.wait(kEndTimeoutMs));
    QTest::qWait(100);
    EXPECT_EQ(failed.size(), 1) << "one failure, one report";
    EXPECT_FALSE(player.Play()) << "a refused file does not start";

    ASSERT_TRUE(player.Open(Path("tone.wav")));
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(ended.wait(kEndTimeoutMs));
    EXPECT_EQ(failed.size(), 1);
}
