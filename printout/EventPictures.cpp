#include "printout/EventPictures.h"

#include "platform/DataSet.h"
#include "report/BRCtrls.h"

namespace printout {

EventPictures readEventPictures(platform::Query& query, const QString& eventCode)
{
    query.Close();
    query.clearSQL();
    query.addSQL(QStringLiteral("select * from taikai where tcode=:tcode"));
    query.ParamByName(QStringLiteral("tcode"))->SetAsString(eventCode);
    query.Open();
    EventPictures row;
    query.First();
    if (query.Eof())
        return row;
    row.found = true;
    row.title = query.FieldByName(QStringLiteral("tname"))->AsString();
    row.header = query.FieldByName(QStringLiteral("img1"))->AsString();
    row.footer = query.FieldByName(QStringLiteral("img2"))->AsString();
    return row;
}

void storeEventPicture(
    platform::Query& query, const QString& eventCode, PictureSlot slot, const QString& path)
{
    query.Close();
    query.clearSQL();
    query.addSQL(slot == PictureSlot::Header
            ? QStringLiteral("update taikai set img1=:path where tcode=:tcode")
            : QStringLiteral("update taikai set img2=:path where tcode=:tcode"));
    query.ParamByName(QStringLiteral("path"))->SetAsString(path);
    query.ParamByName(QStringLiteral("tcode"))->SetAsString(eventCode);
    query.ExecSQL();
}

QString loadEventPicture(TBRPicture& picture, const QString& path)
{
    if (path.isEmpty()) {
        picture.Clear();
        return QString();
    }
    try {
        picture.LoadFromFile(path);
        return QString();
    } catch (const EBRError& e) {
        picture.Clear();
        return e.message();
    }
}

} // namespace printout
