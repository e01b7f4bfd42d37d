#pragma once
#include "RateTables.h"
#include "Status.h"
#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

// Input checks and switch commands of the rate, discount, IP and holiday
// tables window, kept apart from the window so that each rule and each
// command can be checked on its own. A check returns the accepted value in
// the form it is stored in, or the reason it refused the text: the message
// the window shows (title "输入错误", error icon).
namespace DiscountRules {

// ---- fixed lists ---------------------------------------------------------------
// Pauses of an IP card as shown, and as sent (tens of milliseconds).
const QStringList &CardPauseTexts();
const QStringList &CardPauseCodes();
// Prompt languages; the code sent is the position + 1.
const QStringList &LanguageChoices();
// Interval of IP dialling without a card number: option captions and codes.
const QStringList &IntervalCaptions();
const QStringList &IntervalCodes();

// ---- Feerate -------------------------------------------------------------------
// Tab (call-type code) whose prefixes are the switch's local-network prefixes,
// and the incoming tab, whose prefix, name and discount switch stay fixed.
constexpr int LocalTab = 5;
constexpr int IncomingTab = 9;
constexpr int FeerateGridColumns = 11; // columns 0 to 10 are shown
constexpr int DiscountMarkColumn = 10;
constexpr int TypeColumn = 11;
constexpr int MaxAreaLength = 40;

// Name of the default row of a type ("市话默认") and of a freshly added row.
QString DefaultRateName(const QString &typeName);
QString NewRateName(const QString &typeName);
// Default rows are recognised by this mark in their name.
bool IsDefaultRateText(const QString &text);
// Whether a double click on this column of the rate grid of this tab may
// change it at all.
bool FeerateColumnEditable(int tab, int column);

// The rate editor's check of one cell (columns 0 to 9). Money columns (3, 5,
// 6, 8) come back written with two decimals.
Checked<QString> CheckFeerateCell(int tab, int column, const QString &text);

// The value of a batch change of a column (2 to 10) of several rows: the same
// rules as the editor; for the discount column the text is 0 or 1 and comes
// back as the mark at that position of `marks`.
Checked<QString> CheckBatchValue(int tab, int column, const QString &text, const QStringList &marks);

// Star codes keeping the switch's local-network prefixes in step with the
// rows of the local tab: the old prefix removed (when there was one), the new
// one added.
QStringList LocalPrefixChangeCommands(const QString &oldPrefix, const QString &newPrefix);
// The removal alone; empty when there is no prefix to remove.
QString LocalPrefixRemoveCommand(const QString &prefix);

// ---- IP -------------------------------------------------------------------------
constexpr int IPCardRows = 12;
constexpr int IPColumns = 10;
constexpr int IPEnabledColumn = 1;
constexpr int IPLanguageColumn = 4;
inline const QString NoCardEntry = QStringLiteral("13");

bool IsIPPauseColumn(int column); // 3, 5, 7, 9
bool IsIPTextColumn(int column);  // 2, 6, 8: typed in the editor

// The IP editor's check of columns 2 (access code), 6 (card number) and 8
// (password).
Checked<QString> CheckIPCell(int column, const QString &text);

// Whether columns 2 to 9 of a card row are all filled.
bool IPCardComplete(const IPRow &row);
// The card pair: "*81*" access code, language code, card number, password,
// entry; then "*82*" the four pause codes and the entry. Nothing when a
// value cannot be keyed (not digits, a pause or language not in the lists),
// since it would put foreign keys into the command.
std::optional<QString> IPCardCommand(const IPRow &row);
std::optional<QString> IPPauseCommand(const IPRow &row);
// Switches card `entry` off.
QString IPCardOffCommand(const QString &entry);

// Checks the number that switches to IP dialling without a card: digits
// only, and required when the setting is switched on.
Checked<QString> CheckIPNumber(const QString &text, bool turnOn);
// Commands of that setting: "*83*" number, "*84*" interval code when on;
// "*83*0#" when off.
QStringList NoCardIPCommands(bool turnOn, const QString &number, int interval);

// ---- Discount -------------------------------------------------------------------
constexpr int DiscountColumns = 15;
bool IsDiscountMarkColumn(int column); // 1, 5, 9, 11, 13
bool IsDiscountTimeColumn(int column); // 2, 3, 6, 7
bool IsDiscountRateColumn(int column); // 4, 8, 10, 12, 14
// Caption row above the column names: group caption of each column.
QStringList DiscountGroupCaptions();

// A band limit as stored: a text without ":" that is a number is written as
// hours and minutes ("930" gives "09:30"); anything else stays as typed.
QString FormatBandTime(const QString &text);
Checked<QString> CheckDiscountCell(int column, const QString &text);

// ---- Holiday --------------------------------------------------------------------
constexpr int MaxHolidayNameLength = 10;
inline const QString NewHolidayName = QStringLiteral("新节假日");
// A month or day with two digits ("1" gives "01"), as pricing looks them up.
QString TwoDigits(const QString &text);
Checked<QString> CheckHolidayCell(int column, const QString &text);

} // namespace DiscountRules
} // namespace corvane
