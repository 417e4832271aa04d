#include "platform/IniFile.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(IniFile, MissingFileGivesDefaultsAndIsNotCreatedByReading)
{
    testing_support::TempHome home;
    const QString path = home.file("Tavo.ini");
    platform::IniFile ini(path);
    EXPECT_EQ(ini.ReadString("Env", "Dtp1v", "0:00:00"), "0:00:00");
    EXPECT_EQ(ini.ReadInteger("Env", "Pcom2", 2), 2);
    EXPECT_FALSE(ini.ValueExists("Env", "Pcom2"));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(IniFile, ReadsCp932FileWithCrLfCaseInsensitively)
{
    testing_support::TempHome home;
    const QString path = home.file("Tavo.ini");
    writeBytes(path,
        platform::toCp932(QStringLiteral("; 設定\r\n[Env]\r\nPcom2=7\r\nDtp1v = 0:05:00 \r\n"
                                         "[Print]\r\nTLstart=開始①\r\nTLdate=\"Print / \"\r\n")));
    platform::IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("ENV", "pcom2", 2), 7);
    EXPECT_EQ(ini.ReadString("env", "DTP1V", ""), "0:05:00");
    EXPECT_EQ(ini.ReadString("print", "tlstart", ""), QStringLiteral("開始①"));
    EXPECT_EQ(ini.ReadString("Print", "TLdate", ""), "Print / ");
    EXPECT_EQ(ini.ReadString("Print", "TLend", "End"), "End");
    EXPECT_TRUE(ini.ValueExists("Env", "PCOM2"));
}

TEST(IniFile, ReadIntegerFallsBackOnTextThatIsNoNumber)
{
    testing_support::TempHome home;
    const QString path = home.file("a.ini");
    writeBytes(path, "[Env]\r\nCont=abc\r\nDt=\r\nHex=$1F\r\nNeg=-3\r\n");
    platform::IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Env", "Cont", 9), 9);
    EXPECT_EQ(ini.ReadInteger("Env", "Dt", 4), 4);
    EXPECT_EQ(ini.ReadInteger("Env", "Hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("Env", "Neg", 0), -3);
}

TEST(IniFile, WriteUpdatesInPlaceAndKeepsCommentsAndUnknownKeys)
{
    testing_support::TempHome home;
    const QString path = home.file("Tavo.ini");
    writeBytes(path,
        platform::toCp932(QStringLiteral("; 大会設定\r\n[Env]\r\nTcode=202403091\r\nPCOM2=2\r\n"
                                         "Other=残す\r\n\r\n[D-Line]\r\nBrate=1\r\n")));
    {
        platform::IniFile ini(path);
        ini.WriteInteger("env", "pcom2", 6);
        ini.WriteString("Env", "Dtp1v", QStringLiteral("0:10:00"));
        ini.WriteString("TCP", "TCPadd", QStringLiteral("192.168.1.10"));
        // Written through at once: a second reader sees the change while the first still lives.
        platform::IniFile other(path);
        EXPECT_EQ(other.ReadInteger("Env", "Pcom2", 0), 6);
    }
    EXPECT_EQ(platform::fromCp932(readBytes(path)),
        QStringLiteral("; 大会設定\r\n[Env]\r\nTcode=202403091\r\nPCOM2=6\r\nOther=残す\r\nDtp1v=0:10:00\r\n"
                       "\r\n[D-Line]\r\nBrate=1\r\n\r\n[TCP]\r\nTCPadd=192.168.1.10\r\n"));
}

TEST(IniFile, WrittenValuesReadBackTheSame)
{
    testing_support::TempHome home;
    const QString path = home.file("Tavo.ini");
    const QStringList values { QStringLiteral("予選 ヒート①～－"), QStringLiteral(" lead and trail "),
        QStringLiteral("\"quoted\""), QString(), QStringLiteral("a=b;c") };
    {
        platform::IniFile ini(path);
        for (int i = 0; i < values.size(); ++i)
            ini.WriteString("Print", QStringLiteral("K%1").arg(i), values[i]);
    }
    platform::IniFile ini(path);
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(ini.ReadString("Print", QStringLiteral("K%1").arg(i), "x"), values[i]) << i;
    EXPECT_TRUE(readBytes(path).contains("\r\n"));
    EXPECT_FALSE(readBytes(path).replace("\r\n", "").contains('\n'));
}

TEST(IniFile, UnwritableFileRaisesInsteadOfLosingTheWriteSilently)
{
    testing_support::TempHome home;
    platform::IniFile ini(home.file("no-such-folder/Tavo.ini"));
    EXPECT_THROW(ini.WriteString("Env", "Dt", "1"), std::runtime_error);
}

TEST(IniFile, PathThatIsNoFileRaisesOnLoadSoNothingIsWrittenOverIt)
{
    testing_support::TempHome home;
    ASSERT_TRUE(QDir(home.path()).mkdir("Tavo.ini"));
    EXPECT_THROW(platform::IniFile ini(home.file("Tavo.ini")), std::runtime_error);
}

TEST(IniFile, KeyAddedAfterALastLineWithoutLineEndStartsOnALineOfItsOwn)
{
    testing_support::TempHome home;
    const QString path = home.file("Tavo.ini");
    writeBytes(path, "[D-Line]\nBrate=1");
    platform::IniFile(path).WriteString("TCP", "Portnum", "5000");
    EXPECT_EQ(readBytes(path), "[D-Line]\nBrate=1\r\n\r\n[TCP]\r\nPortnum=5000\r\n");
}
