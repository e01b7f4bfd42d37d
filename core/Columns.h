#pragma once

// Column positions of the tables that several parts of the console read and
// write. Rows are addressed by position (the names are in Schema.cpp); keeping
// the positions here means one table layout, one place to change.
namespace corvane::col {

namespace SWTConfig {
constexpr int Capacity = 0;
constexpr int DemoteClass = 1; // class after a deposit overrun or settlement
constexpr int SwitchPort = 8;
constexpr int OutwardOn = 14;
constexpr int OutwardPort = 15;
constexpr int FileOutputOn = 16;
constexpr int FilePath = 17; // folder of the monthly call-record files
constexpr int NightReset = 18;
} // namespace SWTConfig

namespace User {
constexpr int Port = 0;
constexpr int Number = 1;
constexpr int Name = 2;
constexpr int Class = 3;
constexpr int CallerDisplay = 4; // 4..9: the yes/no settings and rights
constexpr int TrunkGroup = 10;
constexpr int TimeLimit = 11;
constexpr int PayType = 12; // "普通" or "押金"
constexpr int Rent = 13;
constexpr int ShowOnTrunk = 14;
constexpr int Group = 15;
} // namespace User

namespace PHNBill {
constexpr int Caller = 0; // user number, or "账号" and the account number
constexpr int EndTime = 2;
constexpr int Fee = 6; // the record's total
constexpr int CallType = 7;
constexpr int Handling = 8;
constexpr int Service = 9;
constexpr int Charge = 10; // the call charge
constexpr int State = 11;  // "未结算" / "已结算"
constexpr int Group = 12;
constexpr int Name = 13;
} // namespace PHNBill

namespace Exchange {
constexpr int OutgoingMode = 5;      // "间局" routes through another office
constexpr int IndirectDirection = 7; // that office's digit
} // namespace Exchange

namespace Foregift {
constexpr int Port = 0;
constexpr int Number = 1;
constexpr int Name = 2;
constexpr int Class = 3;
constexpr int Balance = 4;
constexpr int Deposit = 5; // deposit paid
constexpr int Password = 6;
constexpr int PasswordOn = 7; // "√" while the dialling password is in force
} // namespace Foregift

namespace Account {
constexpr int Number = 0;
constexpr int Name = 1;
constexpr int Class = 2;
constexpr int TrunkGroup = 3;
constexpr int Password = 4;
constexpr int PayType = 5;
} // namespace Account

} // namespace corvane::col
