#pragma once

// The event's two printout pictures as table taikai keeps them: only the full paths of the
// header picture (img1) and the footer picture (img2); the pictures stay in their files. The
// report form and the picture picker both read and write them through DM1.Qimg.

#include <QString>

class TBRPicture;

namespace platform {
class Query;
}

namespace printout {

enum class PictureSlot { Header, Footer };

struct EventPictures {
    bool found = false; // false when the event has no row
    QString title; // tname
    QString header; // img1
    QString footer; // img2
    const QString& path(PictureSlot slot) const { return slot == PictureSlot::Header ? header : footer; }
};

// Opens the event's row on the query.
EventPictures readEventPictures(platform::Query& query, const QString& eventCode);

// Stores a path (empty removes the picture) in the slot's column of the event's row. The path
// is bound to the statement, never pasted into it, so it is stored as it stands, apostrophes
// and all.
void storeEventPicture(
    platform::Query& query, const QString& eventCode, PictureSlot slot, const QString& path);

// Loads a picture file; an empty path empties the picture. On failure the picture is emptied
// too, and the engine's message (which names the file) is returned; empty on success.
QString loadEventPicture(TBRPicture& picture, const QString& path);

} // namespace printout
