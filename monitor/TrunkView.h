#pragma once
#include <QString>
#include <QStringList>

namespace corvane {

// What the trunk-event handlers show: the sixteen trunk indicators (picture,
// text, text colour), the incoming-call list and the caller pop-up. The main
// window provides it; the handlers never reach into its widgets.
class TrunkView {
public:
    virtual ~TrunkView() = default;

    // Indicator t (0..15): picture file name ("phone.gif"), text and colour.
    virtual void setTrunkPicture(int t, const QString &fileName) = 0;
    virtual void setTrunkText(int t, const QString &text) = 0;
    virtual QString trunkText(int t) const = 0;
    virtual void setTrunkTextColor(int t, Qt::GlobalColor color) = 0;
    // Indicator t shows that its state is not known (the link to the switch
    // was lost), over whatever picture and text it holds; false shows them
    // again.
    virtual void setTrunkUnknown(int t, bool unknown) = 0;

    // A row at the top of the incoming-call list (cut back as AddListRow does
    // when it holds more than `rowLimit` rows). The list's count is the
    // window's own: it always shows how many rows are listed.
    virtual void addIncomingRow(int rowLimit, const QStringList &values) = 0;

    // The caller pop-up with `info`, beside the picture of trunk t.
    virtual void showCallerInfo(int t, const QString &info) = 0;
};

} // namespace corvane
