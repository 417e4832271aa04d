#include "app/Udm1.h"

#include "platform/DataSet.h"

#include <vector>

TDM1* DM1 = nullptr;

namespace {

struct TableLayout {
    const char* name;
    const char* columns;
};

// The delivered tables at the current layout. Dates and times are declared as such so that
// statements comparing them with 'mm/dd/yyyy' and H:MM:SS texts compare by value.
const TableLayout kTables[] = {
    { "taikai",
        "tcode integer, tname varchar(60), tdate date, status smallint,"
        " on1 varchar(8), of1 varchar(8), on2 varchar(8), of2 varchar(8),"
        " on3 varchar(8), of3 varchar(8), on4 varchar(8), of4 varchar(8),"
        " on5 varchar(8), of5 varchar(8), ons varchar(8), cont smallint,"
        " img1 varchar(255), img2 varchar(255), tmem memo,"
        " sq1 varchar(8), sq2 varchar(8), sq3 varchar(8), sq4 varchar(8), sq5 varchar(8)" },
    { "rmenu",
        "tcode integer, rr integer, btime time, etime time, kara varchar(2), rmenu varchar(60),"
        " uc integer, round smallint, heat smallint, roundtl varchar(20), heattl varchar(20),"
        " ITT time, WUT time, RCT time, OVT time, SCT time" },
    { "music", "tcode integer, bun varchar(1), tno time, mname varchar(255)" },
    { "tnow", "tcode integer" },
    // Written by the results program; the console looks rows up by tcode, round and heat.
    { "result",
        "tcode integer, round smallint, heat smallint, rank smallint, carno smallint,"
        " driver varchar(40), laps smallint, rtime varchar(12)" },
    // The display time the console holds open for the monitor's side.
    { "dtime", "dtime varchar(9)" },
};

} // namespace

TDM1::TDM1(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("DM1"));
    Database1 = new platform::Database;

    auto table = [this](const char* name, const char* file) {
        auto* t = new platform::Table(Database1, this);
        t->setObjectName(QLatin1String(name));
        t->TableName = QLatin1String(file);
        return t;
    };
    auto query = [this](const char* name, QStringList sql = {}) {
        auto* q = new platform::Query(Database1, this);
        q->setObjectName(QLatin1String(name));
        q->SQL = std::move(sql);
        return q;
    };
    auto source = [this](const char* name, platform::DataSet* ds) {
        auto* s = new platform::DataSource(ds, this);
        s->setObjectName(QLatin1String(name));
        return s;
    };
    const QString rmenu = QStringLiteral("select * from rmenu");
    const QString music = QStringLiteral("select * from music");

    Tbtaikai = table("Tbtaikai", "taikai.DB");
    Tbdt = table("Tbdt", "DTime.DB");

    Qtaikai = query("Qtaikai", { QStringLiteral("select * from taikai"), QStringLiteral("order by tdate") });
    Qtemp = query("Qtemp");
    Qedit = query("Qedit");
    Qresu = query("Qresu");
    Qrmenu = query("Qrmenu", { rmenu });
    Qnext = query("Qnext", { rmenu });
    Qwarm = query("Qwarm", { music });
    Qrace = query("Qrace", { music });
    Qover = query("Qover", { music });
    Qint = query("Qint", { music });
    Qdtime = query("Qdtime");
    Qimg = query("Qimg");
    Qresult = query("Qresult", { rmenu });
    Qtemp2 = query("Qtemp2");

    DSwarm = source("DSwarm", Qwarm);
    DSrace = source("DSrace", Qrace);
    DSover = source("DSover", Qover);
    DSint = source("DSint", Qint);
    DStaikai = source("DStaikai", Tbtaikai);
    DSrmenu = source("DSrmenu", Qrmenu);
    DSnext = source("DSnext", Qnext);
    DStemp = source("DStemp", Qtemp);
    DSresult = source("DSresult", Qresult);
}

TDM1::~TDM1()
{
    // The data sets go first (they are children), the connection after them.
    qDeleteAll(findChildren<platform::DataSet*>(Qt::FindDirectChildrenOnly));
    delete Database1;
    if (DM1 == this)
        DM1 = nullptr;
}

void TDM1::reconnect()
{
    Database1->setConnected(false);
    Database1->setConnected(true);
    createMissingTables();
}

void TDM1::createMissingTables()
{
    std::vector<const TableLayout*> missing;
    for (const TableLayout& t : kTables)
        if (!Database1->tableExists(QLatin1String(t.name)))
            missing.push_back(&t);
    if (missing.empty())
        return; // the usual start: nothing to write, so no need to wait for another writer
    const bool firstStart = !Database1->tableExists(QStringLiteral("taikai"));
    // All tables or none, begun as a writer: a results program writing at the same moment is
    // waited for instead of failing the first start.
    platform::Transaction create(*Database1);
    for (const TableLayout* t : missing) {
        const QString name = QLatin1String(t->name);
        if (Database1->tableExists(name))
            continue; // made meanwhile by another copy of the program
        Database1->execute(QStringLiteral("create table %1 (%2)").arg(name, QLatin1String(t->columns)));
        if (name == QLatin1String("tnow"))
            Database1->execute(QStringLiteral("insert into tnow values (0)"));
    }
    if (firstStart && !Database1->tableExists(QStringLiteral("checkv"))) {
        Database1->execute(QStringLiteral("create table checkv (checkv smallint)"));
        Database1->execute(QStringLiteral("insert into checkv values (%1)").arg(CurrentLayoutVersion));
    }
    create.Commit();
}
