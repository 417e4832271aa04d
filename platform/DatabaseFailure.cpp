#include "platform/DatabaseFailure.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <cstring>
#include <sqlite3.h>

namespace platform {

namespace {

// Less room than this on the database's disk counts as full: SQLite reports some writes that the
// full disk refused (the shared-memory file at start, a sync) as input/output errors, and the
// system's error number it keeps for them is not always the one of the failing call.
constexpr qint64 kFullDiskBytes = 64 * 1024;

bool diskFull(const QString& path)
{
    const QStorageInfo disk(QFileInfo(path).absolutePath());
    return disk.isValid() && disk.isReady() && disk.bytesAvailable() < kFullDiskBytes;
}

// The cause, as a sentence with %1 where the file goes.
QString cause(int code, const QString& path)
{
    switch (code & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("ディスクがいっぱいのため、データベースファイル %1 に書き込めません。");
    case SQLITE_IOERR:
        if (diskFull(path))
            return cause(SQLITE_FULL, path);
        switch (code) {
        case SQLITE_IOERR_READ:
        case SQLITE_IOERR_SHORT_READ:
            return QStringLiteral("データベースファイル %1 を読み込めません（ディスクの読み込みエラー）。");
        case SQLITE_IOERR_WRITE:
        case SQLITE_IOERR_FSYNC:
        case SQLITE_IOERR_DIR_FSYNC:
        case SQLITE_IOERR_TRUNCATE:
        case SQLITE_IOERR_DELETE:
        case SQLITE_IOERR_SHMSIZE:
            return QStringLiteral("データベースファイル %1 に書き込めません（ディスクの書き込みエラー）。");
        default:
            return QStringLiteral("データベースファイル %1 を読み書きできません（ディスクの入出力エラー）。");
        }
    case SQLITE_READONLY:
        return QStringLiteral("データベースファイル %1 は読み取り専用のため、書き込めません。");
    case SQLITE_CANTOPEN:
        return QStringLiteral("データベースファイル %1 を開けません"
                              "（フォルダがないか、ファイルでないか、アクセスが許可されていません）。");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("データベースファイル %1 へのアクセスが許可されていません。");
    case SQLITE_NOTADB:
        return QStringLiteral("ファイル %1 はデータベースではありません。");
    case SQLITE_CORRUPT:
        return QStringLiteral("データベースファイル %1 が壊れています。");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("データベースファイル %1 はほかのプログラムが使用中です。");
    case SQLITE_NOMEM:
        return QStringLiteral("メモリが足りないため、データベースファイル %1 を使えません。");
    case SQLITE_TOOBIG:
        return QStringLiteral("データが大きすぎるため、データベースファイル %1 に書き込めません。");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("表の制約に合わないため、データベースファイル %1 に書き込めません。");
    default:
        // The statement itself (a table or column that is not there, bad SQL).
        return QStringLiteral("データベースファイル %1 で SQL 文を実行できません。");
    }
}

} // namespace

QString databaseFailureText(sqlite3* db, int resultCode, const QString& file)
{
    const int code = db ? sqlite3_extended_errcode(db) : resultCode;
    QString detail = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    // Why the file did not open (no folder, no permission): the system's word, taken at once.
    const int systemError = db && (code & 0xff) == SQLITE_CANTOPEN ? sqlite3_system_errno(db) : 0;
    if (systemError != 0)
        detail
            += QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(systemError)) + QLatin1Char(')');
    QString path = file;
    if (path.isEmpty() && db)
        path = QString::fromUtf8(sqlite3_db_filename(db, "main"));
    return cause(code, path).arg(QDir::toNativeSeparators(path)) + QStringLiteral("\n詳細: ") + detail;
}

} // namespace platform
