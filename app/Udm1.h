#pragma once

// The data module: the database connection and every table, query and data source that the
// windows reach the database through. Each user replaces a query's SQL lines before use; only
// the design-time settings are fixed here. The module also owns the table layouts: the first
// start on an empty data folder creates the delivered tables at the current layout.

#include <QObject>

namespace platform {
class Database;
class Table;
class Query;
class DataSource;
} // namespace platform

// The layout version the program's statements are written for (table checkv).
inline constexpr int CurrentLayoutVersion = 8;

class TDM1 : public QObject {
    Q_OBJECT
public:
    explicit TDM1(QObject* parent = nullptr);
    ~TDM1() override;

    // Disconnects and connects Database1 again, then creates the tables an empty data folder
    // lacks. Raises platform::DatabaseError when the database cannot be opened.
    void reconnect();

    // Creates every delivered table that does not exist yet, at the current layout. On a
    // database without events (a first start) checkv is created at the current version; a
    // database that already holds taikai gets checkv from the layout upgrade instead.
    void createMissingTables();

    platform::Database* Database1;

    platform::Table* Tbtaikai; // "taikai.DB": live event rows behind the console's memo
    platform::Table* Tbdt; // "DTime.DB": held open while the console is open

    platform::Query* Qtaikai; // "select * from taikai" / "order by tdate"
    platform::Query* Qtemp; // scratch
    platform::Query* Qedit; // editor and console statements
    platform::Query* Qresu; // tnow update
    platform::Query* Qrmenu; // "select * from rmenu"
    platform::Query* Qnext; // "select * from rmenu"
    platform::Query* Qwarm; // "select * from music"
    platform::Query* Qrace; // "select * from music"
    platform::Query* Qover; // "select * from music"
    platform::Query* Qint; // "select * from music"
    platform::Query* Qdtime; // live query on dtime
    platform::Query* Qimg; // picture paths of the event
    platform::Query* Qresult; // "select * from rmenu"
    platform::Query* Qtemp2; // second scratch

    platform::DataSource* DSwarm;
    platform::DataSource* DSrace;
    platform::DataSource* DSover;
    platform::DataSource* DSint;
    platform::DataSource* DStaikai; // on Tbtaikai
    platform::DataSource* DSrmenu;
    platform::DataSource* DSnext;
    platform::DataSource* DStemp;
    platform::DataSource* DSresult;
};

// The process-wide data module, created first by the main block.
extern TDM1* DM1;
