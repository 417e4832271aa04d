#pragma once

#include "platform/Asker.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <thread>

// Test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

class QImage;
class QWidget;

namespace platform {
class Database;
}

namespace testing_support {

// Points TAVO_HOME at a fresh temporary folder for the life of the object, and restores it after.
class TempHome {
public:
    TempHome();
    ~TempHome();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious;
};

// An asker that answers Yes/No questions from a script (Yes when the script is empty) and
// records every text it was shown. Installed for the life of the object.
class ScriptedAsker {
public:
    ScriptedAsker();
    ~ScriptedAsker();
    void answer(bool yes) { m_state->answers.push_back(yes); }
    const QStringList& questions() const { return m_state->questions; }
    const QStringList& messages() const { return m_state->messages; }
    const QStringList& errors() const { return m_state->errors; }

    struct State {
        std::deque<bool> answers;
        QStringList questions, messages, errors;
    };

private:
    std::shared_ptr<State> m_state;
    std::unique_ptr<platform::Asker> m_previous;
};

// Another program writing the database file (the results program during a race day): takes
// the write lock at once, runs its statement, and commits after `hold` from a thread of its own.
class OtherWriter {
public:
    OtherWriter(const QString& databasePath, const QString& sql, std::chrono::milliseconds hold);
    ~OtherWriter(); // waits for the commit

private:
    std::unique_ptr<platform::Database> m_db;
    std::thread m_committer;
};

// Reads a CP932 text file (empty when it cannot be read) and writes one, as the program's
// settings and monitor files are stored.
QString readCp932File(const QString& path);
void writeCp932File(const QString& path, const QString& text);

// The bytes of a file, or "<missing>" when it cannot be read (an empty file stays empty).
QByteArray readFileBytes(const QString& path);

// Runs `body` in a forked child process whose files may grow to `limitBytes` at most, as on a
// disk that fills: a write past the limit fails with EFBIG (the child ignores SIGXFSZ). Gives
// the text `body` returned, or how the child ended when it did not return normally.
QString inChildWithFileSizeLimit(qint64 limitBytes, const std::function<QString()>& body);

// No test sees the machine's print server: the test main points libcups at a server that is not
// there (hideMachinePrintServer, before anything asks it). The one test that prints to a real
// queue gets the machine's server back for the life of a MachinePrintServer: libcups reads it
// afresh on every new thread, and every print-server call runs on one.
void hideMachinePrintServer();
class MachinePrintServer {
public:
    MachinePrintServer();
    ~MachinePrintServer();
    MachinePrintServer(const MachinePrintServer&) = delete;
    MachinePrintServer& operator=(const MachinePrintServer&) = delete;
};

// Saves a picture of the widget as PNG into the folder named by TAVO_TEST_PNG_DIR
// (default: test-png under the current folder) and returns the file's path.
// Part of the widget side of the test support (SaveGrab.cpp): tests without widgets do not link it.
QString saveGrab(QWidget* widget, const QString& name);
// The widget as it paints itself, in RGB32 for comparing pixels (widget side too).
QImage grabImage(QWidget& widget);

} // namespace testing_support
