#pragma once

// The program's shared globals and its settings file Tavo.ini. The start window loads the
// settings once at start and writes them back on "ＣＬＯＳＥ"; in between, the event list and the
// console read and assign the globals directly.

#include "app/SettingsCheck.h"

#include <QString>
#include <vector>

class QDate;

// Settings, loaded from Tavo.ini (section/key in the comment).
extern QString CurrentEventCode; // Env/Tcode: tcode of the open (or last opened) event; never written back
extern int OffControlMode; // Env/Cont: 0 = signal 5 OFF before the start, 1 = after
extern int SignalPortNo1; // Env/Pcom2: COM number carrying signals 1 and 2
extern int SignalPortNo2; // Env/Pcom3: signals 3 and 4
extern int SignalPortNo3; // Env/Pcom4: signal 5 and the start signal
extern int BoardPortNo; // Env/Pcom5: display board
extern QString WarmUpTimePreset; // Env/Dtp1v: H:MM:SS
extern QString RaceTimePreset; // Env/Dtp2v
extern QString OverTimePreset; // Env/Dtp3v
extern QString BlankTimePreset; // Env/Dtp4v
extern QString AutoIntervalPreset; // Env/Dtp5v
extern int DelaySetting; // Env/Dt
extern QString BlindTimeTenths; // Env/Brindt: decimal tenths of a second
extern QString HideClockPausedWarmUp; // Env/Dpwup: "0"/"1"
extern QString HideClockPausedRace; // Env/Dprace
extern QString HideClockPausedOverTime; // Env/Dpover
extern QString ReportTitleStart; // Print/TLstart
extern QString ReportTitleEnd; // Print/TLend
extern QString ReportTitleSchedule; // Print/TLschedule
extern QString ReportTitleNote; // Print/TLnote
extern QString ReportPrintDatePrefix; // Print/TLdate
extern QString TimeServerAddress; // TCP/TCPadd
extern QString TimeServerPort; // TCP/Portnum
extern int BoardBitRateIndex; // D-Line/Brate: 0 = 2400, 1 = 9600 bit/s; never written back

// Run-time values, never persisted.
extern int ReportPageCount; // pages of the schedule report found by the counting pass
extern unsigned char TimeServerConnected; // 1 while the timing-server link is connected
extern unsigned char BoardFromNetwork; // 1 while the board's race time comes from the timing server

// Full path of the settings file (Tavo.ini in the data folder).
QString settingsFilePath();

// Fills every settings global from Tavo.ini; a missing file or key gives the default, and so
// does a value the control showing it would not take: those are returned, for the operator.
// Raises std::runtime_error when an existing file cannot be read; the globals then stay as
// they were and saveSettings will not write.
std::vector<SettingProblem> loadSettings();

// Writes the globals back (Tcode and Brate excepted); empty presets become "0:00:00" first.
// Does nothing and returns false when the settings were never loaded in this process, so that
// values nobody read are never written over the operator's file. Every key goes into the file
// in one whole-file write: raises std::runtime_error, with a text naming the file, when that
// write fails, and the file then keeps every byte it had.
bool saveSettings();

// True once loadSettings has completed.
bool settingsLoaded();
// Forgets that the settings were loaded (for tests that start the program again).
void resetSettingsLoaded();

// Doubles every apostrophe, for text placed between apostrophes in SQL.
QString EscapeApostrophes(const QString& text);
// "where tcode='<code>'": the rows of one event in any of the program's tables. Every statement
// that picks an event's rows builds its clause here, so the code is always escaped.
QString eventWhere(const QString& eventCode);

// The program's short date format "yyyy/mm/dd": event codes and printed dates are cut from
// this text by character position.
QString shortDateText(const QDate& date);
// The eight digits yyyymmdd of an event code, cut from a short date text (characters 1-4, 6-7
// and 9-10).
QString eventCodeDateDigits(const QString& shortDateText);
