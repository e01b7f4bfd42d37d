#include "ClientRegisters.h"
#include "Database.h"
#include "General.h"

namespace corvane {

namespace {

const QString kNeedPhoneNumber = QStringLiteral("请输入数字作为电话号码！");

} // namespace

Status ClientRules::checkKey(const QString &key) const
{
    if (key.isEmpty() || key.size() > NumberLength || !IsDigits(key))
        return Status::fail(QStringLiteral("客户编号必须是数字，长度不能超过4位！"));
    return Status::ok();
}

Status ClientRules::checkField(int field, const QString &text) const
{
    if (!isNumberField(field) || IsNumeric(text))
        return Status::ok();
    // Fax and phones are optional: an empty one may be left. The client
    // number is not.
    if (field != 0 && text.trimmed().isEmpty())
        return Status::ok();
    return Status::fail(field == 0 ? QStringLiteral("请输入数字作为客户编号！") : kNeedPhoneNumber);
}

QString ClientRules::stored(int field, const QString &text) const
{
    return isNumberField(field) ? text.trimmed() : text;
}

Status BlacklistRules::checkKey(const QString &key) const
{
    if (key.isEmpty() || key.size() > NumberLength)
        return Status::fail(QStringLiteral("电话号码长度不能超过15位，也不能为空！"));
    return Status::ok();
}

Status BlacklistRules::checkField(int field, const QString &text) const
{
    // The remark is free; the number must be one.
    if (field != 0 || IsNumeric(text))
        return Status::ok();
    return Status::fail(kNeedPhoneNumber);
}

QString BlacklistRules::stored(int field, const QString &text) const
{
    // Stored trimmed: a caller's number is looked up exactly.
    return field == 0 ? text.trimmed() : text;
}

ClientRegisters::ClientRegisters(Database &db)
    : clients(db, QStringLiteral("Client"), Database::quoteId(QStringLiteral("编号")), ClientRules::Fields, clientRules,
              QStringLiteral("客户信息")),
      blacklist(db, QStringLiteral("BlackLst"), QString(), BlacklistRules::Fields, blacklistRules,
                QStringLiteral("黑名单"))
{}

} // namespace corvane
