#include "support/TestSupport.h"

#include "platform/DataSet.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <csignal>
#include <map>
#include <optional>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

TempHome::TempHome()
    : m_previous(qgetenv("TAVO_HOME"))
    , m_hadPrevious(qEnvironmentVariableIsSet("TAVO_HOME"))
{
    qputenv("TAVO_HOME", m_dir.path().toUtf8());
}

TempHome::~TempHome()
{
    if (m_hadPrevious)
        qputenv("TAVO_HOME", m_previous);
    else
        qunsetenv("TAVO_HOME");
}

namespace {

class Recorder final : public platform::Asker {
public:
    explicit Recorder(std::shared_ptr<ScriptedAsker::State> s)
        : m_s(std::move(s))
    {
    }
    bool askYesNo(const QString&, const QString& text) override
    {
        m_s->questions << text;
        if (m_s->answers.empty())
            return true;
        bool yes = m_s->answers.front();
        m_s->answers.pop_front();
        return yes;
    }
    void inform(const QString&, const QString& text) override { m_s->messages << text; }
    void error(const QString& text) override { m_s->errors << text; }

private:
    std::shared_ptr<ScriptedAsker::State> m_s;
};

} // namespace

ScriptedAsker::ScriptedAsker()
    : m_state(std::make_shared<State>())
{
    m_previous = platform::setAsker(std::make_unique<Recorder>(m_state));
}

ScriptedAsker::~ScriptedAsker() { platform::setAsker(std::move(m_previous)); }

OtherWriter::OtherWriter(const QString& databasePath, const QString& sql, std::chrono::milliseconds hold)
    : m_db(std::make_unique<platform::Database>())
{
    m_db->setPath(databasePath);
    m_db->execute(QStringLiteral("begin immediate"));
    m_db->execute(sql);
    m_committer = std::thread([this, hold] {
        std::this_thread::sleep_for(hold);
        m_db->execute(QStringLiteral("commit"));
    });
}

OtherWriter::~OtherWriter() { m_committer.join(); }

QString readCp932File(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return platform::fromCp932(f.readAll());
}

QByteArray readFileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeCp932File(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(platform::toCp932(text));
}

QString inChildWithFileSizeLimit(qint64 limitBytes, const std::function<QString()>& body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return QStringLiteral("<no pipe>");
    const pid_t child = fork();
    if (child < 0)
        return QStringLiteral("<no fork>");
    if (child == 0) {
        close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes) };
        QByteArray said;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            said = "<no limit>";
        } else {
            try {
                said = body().toUtf8();
            } catch (const std::exception& e) {
                said = QByteArray("<exception> ") + e.what();
            }
        }
        for (qsizetype at = 0; at < said.size();) {
            const ssize_t n = write(fds[1], said.constData() + at, static_cast<size_t>(said.size() - at));
            if (n <= 0)
                break;
            at += n;
        }
        // No destructors or exit handlers of the parent's objects run in the child.
        _exit(0);
    }
    close(fds[1]);
    QByteArray said;
    char chunk[4096];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;)
        said.append(chunk, n);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("<child ended with status %1> ").arg(status) + QString::fromUtf8(said);
    return QString::fromUtf8(said);
}

namespace {

// What libcups and the print tools read to find the print server and the default queue.
constexpr const char* PrintServerVariables[] = { "CUPS_SERVER", "PRINTER", "LPDEST" };

std::map<QByteArray, std::optional<QByteArray>>& machinePrintServer()
{
    static std::map<QByteArray, std::optional<QByteArray>> values;
    return values;
}

void pointAtAbsentPrintServer()
{
    qputenv("CUPS_SERVER", "/nonexistent/tavo-test-cups.sock");
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
}

} // namespace

void hideMachinePrintServer()
{
    for (const char* name : PrintServerVariables)
        machinePrintServer()[name]
            = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    pointAtAbsentPrintServer();
}

MachinePrintServer::MachinePrintServer()
{
    for (const auto& [name, value] : machinePrintServer()) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

MachinePrintServer::~MachinePrintServer() { pointAtAbsentPrintServer(); }

} // namespace testing_support
