#include "support/TestSupport.h"

#include "platform/DataSet.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <stdexcept>

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

} // namespace testing_support
