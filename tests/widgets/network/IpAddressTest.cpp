// The IP address dialog and its validators.
#include "orbelt/IpAddressValidator.h"
#include "orbelt/IpAddressWidget.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {
QValidator::State check(const QValidator& validator, const QString& text, int* position = nullptr)
{
    QString input = text;
    int pos = input.size();
    const QValidator::State state = validator.validate(input, pos);
    if (position)
        *position = pos;
    return state;
}

const char* name(QValidator::State state)
{
    switch (state) {
    case QValidator::Invalid: return "Invalid";
    case QValidator::Intermediate: return "Intermediate";
    default: return "Acceptable";
    }
}

struct Case {
    const char* text;
    QValidator::State state;
};

void expectTable(const QValidator& validator, std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        EXPECT_STREQ(name(check(validator, QString::fromLatin1(c.text))), name(c.state)) << c.text;
}

void leave(QLineEdit* edit)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}
} // namespace

TEST(IpValidatorTest, PlainAddresses)
{
    QIpAddressValidator validator;
    expectTable(validator, {
                               {"192.168.1.10", QValidator::Acceptable},
                               {"192.168.1", QValidator::Intermediate},
                               {"192.168..", QValidator::Intermediate},
                               {"1.2.3.4.5", QValidator::Invalid},
                               {"1.2.3.256", QValidator::Invalid},
                               {"1.2.3.x", QValidator::Invalid},
                               {"0.0.0.7", QValidator::Intermediate},
                               {"", QValidator::Intermediate},
                               // Octets of decimal digits only: no sign, no blank inside an address.
                               {"+1.2.3.4", QValidator::Invalid},
                               {"1.2.3.+4", QValidator::Invalid},
                               {"1.2. 3.4", QValidator::Invalid},
                           });
}

TEST(IpValidatorTest, AddressesWithinANetmask)
{
    QLineEdit mask(QStringLiteral("255.255.255.0"));
    QIpAddressWithNetmaskValidator validator(&mask);
    expectTable(validator, {
                               {"192.168.1.10", QValidator::Acceptable},
                               {"192.168.1.255", QValidator::Intermediate}, // broadcast of the subnet
                               {"192.168.1.0", QValidator::Intermediate},   // the subnet itself
                               {"127.0.0.1", QValidator::Intermediate},
                               {"224.0.0.1", QValidator::Intermediate},
                               {"240.0.0.1", QValidator::Intermediate},
                               {"0.0.0.0", QValidator::Intermediate},
                               {"", QValidator::Intermediate},
                               {"192.168", QValidator::Intermediate},
                           });
    validator.setAllowBroadcastAddress(true);
    validator.setAllowMulticastAddress(true);
    validator.setAllowLoopbackAddress(true);
    validator.setAllowNullAddress(true);
    validator.setAllowExperimentalPurposeAddress(true);
    expectTable(validator, {
                               {"192.168.1.255", QValidator::Acceptable},
                               {"224.0.0.1", QValidator::Acceptable},
                               {"127.0.0.1", QValidator::Acceptable},
                               {"240.0.0.1", QValidator::Acceptable},
                               {"0.0.0.0", QValidator::Acceptable},
                               {"", QValidator::Acceptable},
                           });
    mask.setText(QStringLiteral("255.0.255.0"));
    EXPECT_EQ(check(validator, QStringLiteral("10.1.1.1")), QValidator::Intermediate);
    mask.setText(QStringLiteral("/16"));
    validator.setAllowBroadcastAddress(false);
    EXPECT_EQ(check(validator, QStringLiteral("10.1.255.255")), QValidator::Intermediate);
    EXPECT_EQ(check(validator, QStringLiteral("10.1.1.255")), QValidator::Acceptable);
    QIpAddressWithNetmaskValidator bare(nullptr);
    EXPECT_EQ(check(bare, QStringLiteral("10.1.1.0")), QValidator::Acceptable);
}

// A /31 link has no network or broadcast address and a /32 names one host: without broadcast
// addresses allowed, every address is still a host there.
TEST(IpValidatorTest, MasksWithoutRoomForABroadcastAcceptEveryHost)
{
    QLineEdit mask;
    QIpAddressWithNetmaskValidator validator(&mask);
    for (const char* text : {"/31", "/32", "/032", "255.255.255.254", "255.255.255.255"}) {
        mask.setText(QString::fromLatin1(text));
        for (const char* address : {"10.0.0.0", "10.0.0.1", "192.168.1.255"})
            EXPECT_STREQ(name(check(validator, QString::fromLatin1(address))), "Acceptable") << text << " " << address;
    }
    mask.setText(QStringLiteral("/30"));
    EXPECT_EQ(check(validator, QStringLiteral("10.0.0.3")), QValidator::Intermediate);
    EXPECT_EQ(check(validator, QStringLiteral("10.0.0.4")), QValidator::Intermediate);
    EXPECT_EQ(check(validator, QStringLiteral("10.0.0.5")), QValidator::Acceptable);
}

TEST(IpValidatorTest, NetmasksAndTheirFixup)
{
    QIpNetmaskValidator validator;
    expectTable(validator, {
                               {"255.255.255.0", QValidator::Acceptable},
                               {"255.255.0.255", QValidator::Intermediate},
                               {"255.255.255.255", QValidator::Acceptable},
                               {"/24", QValidator::Acceptable},
                               {"/0", QValidator::Acceptable},
                               {"/33", QValidator::Intermediate},
                               {"/x", QValidator::Intermediate},
                               {"255.255", QValidator::Intermediate},
                               {"+255.255.255.0", QValidator::Invalid},
                           });
    struct Fix {
        const char* in;
        const char* out;
    } fixes[] = {{"/24", "255.255.255.0"},   {"/16", "255.255.0.0"}, {"/0", "0.0.0.0"},
                 {"/32", "255.255.255.255"}, {"/1", "128.0.0.0"},    {"/33", "/33"},
                 {"255.0.0.0", "255.0.0.0"}};
    for (const Fix& f : fixes) {
        QString text = QString::fromLatin1(f.in);
        validator.fixup(text);
        EXPECT_EQ(text.toStdString(), f.out) << f.in;
    }
    // Every prefix length the validator accepts becomes a dotted mask.
    const struct {
        const char* in;
        const char* out;
    } prefixes[] = {{"/032", "255.255.255.255"},
                    {"/ 24", "255.255.255.0"},
                    {" /8 ", "255.0.0.0"},
                    {"/00", "0.0.0.0"},
                    {"/+16", "255.255.0.0"}};
    for (const auto& p : prefixes) {
        QString text = QString::fromLatin1(p.in);
        ASSERT_EQ(check(validator, text), QValidator::Acceptable) << p.in;
        validator.fixup(text);
        EXPECT_EQ(text.toStdString(), p.out) << p.in;
    }
}

TEST(IpValidatorTest, MacAddresses)
{
    QMacAddressValidator validator;
    expectTable(validator, {
                               {"00:11:22:33:44:55", QValidator::Acceptable},
                               {"00-11-22-33-44-55", QValidator::Acceptable},
                               {"001122334455", QValidator::Acceptable},
                               {"aa:BB:cc:dd:ee:ff", QValidator::Acceptable},
                               {"00:11:22", QValidator::Intermediate},
                               {"", QValidator::Acceptable},
                               {"00:11:22:33:44:55:66", QValidator::Invalid},
                           });
    int position = -1;
    EXPECT_EQ(check(validator, QStringLiteral("00:11:22:33:44:5G"), &position), QValidator::Invalid);
    EXPECT_EQ(position, 16);
    validator.setAllowedSeperators(QStringLiteral(":"));
    EXPECT_EQ(check(validator, QStringLiteral("00-11-22-33-44-55"), &position), QValidator::Invalid);
    EXPECT_EQ(position, 2);
}

TEST(IpValidatorTest, MacAddressCharactersBeyondAsciiAreInvalidWhereTheyStand)
{
    // Latin-1 letters and signs above 127, and digits of other scripts, are no hexadecimal digits.
    QMacAddressValidator validator;
    QString characters;
    for (ushort u = 0x80; u <= 0xFF; ++u)
        characters += QChar(u);
    characters += QChar(0x0660); // ARABIC-INDIC DIGIT ZERO
    characters += QChar(0xFF10); // FULLWIDTH DIGIT ZERO
    characters += QChar(0xFF21); // FULLWIDTH LATIN CAPITAL LETTER A
    for (const QChar c : qAsConst(characters)) {
        SCOPED_TRACE(c.unicode());
        int position = -1;
        EXPECT_EQ(check(validator, QStringLiteral("00:11:") + c + QStringLiteral("2:33:44:55"), &position),
                  QValidator::Invalid);
        EXPECT_EQ(position, 6);
    }
}

TEST(IpAddressWidgetTest, ClassBasedSubnets)
{
    EXPECT_EQ(IpAddressWidget::subnetFromAddress(QStringLiteral("10.1.2.3")).toString(), QStringLiteral("255.0.0.0"));
    EXPECT_EQ(IpAddressWidget::subnetFromAddress(QStringLiteral("172.16.0.1")).toString(),
              QStringLiteral("255.255.0.0"));
    EXPECT_EQ(IpAddressWidget::subnetFromAddress(QStringLiteral("192.168.1.10")).toString(),
              QStringLiteral("255.255.255.0"));
    EXPECT_TRUE(IpAddressWidget::subnetFromAddress(QStringLiteral("224.0.0.1")).isNull());
    EXPECT_TRUE(IpAddressWidget::subnetFromAddress(QStringLiteral("nonsense")).isNull());
}

class IpAddressDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog.show();
        ip = dialog.findChild<QLineEdit*>(QStringLiteral("editIpAddress"));
        mask = dialog.findChild<QLineEdit*>(QStringLiteral("editNetmask"));
        gateway = dialog.findChild<QLineEdit*>(QStringLiteral("editDefaultGateway"));
        mac = dialog.findChild<QLineEdit*>(QStringLiteral("editMacAddress"));
        ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOk"));
        ASSERT_TRUE(ip && mask && gateway && mac && ok);
    }
    void typeInto(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        QTest::keyClicks(edit, text);
        leave(edit);
    }
    void typeAddress(const QString& text) { typeInto(ip, text); }
    IpAddressWidget dialog;
    QLineEdit* ip = nullptr;
    QLineEdit* mask = nullptr;
    QLineEdit* gateway = nullptr;
    QLineEdit* mac = nullptr;
    QPushButton* ok = nullptr;
};

TEST_F(IpAddressDialogTest, LeavingTheAddressFillsMaskAndGatewayAndEnablesOk)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("IP Address"));
    EXPECT_FALSE(ok->isEnabled());
    typeAddress(QStringLiteral("192.168.1.10"));
    EXPECT_EQ(dialog.subnetMask(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(dialog.defaultGateway(), QStringLiteral("0.0.0.0"));
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(ok->isDefault());
}

TEST_F(IpAddressDialogTest, AnEditedMaskIsNotReplaced)
{
    typeInto(mask, QStringLiteral("/16"));
    EXPECT_EQ(dialog.subnetMask(), QStringLiteral("255.255.0.0"));
    typeAddress(QStringLiteral("192.168.1.10"));
    EXPECT_EQ(dialog.subnetMask(), QStringLiteral("255.255.0.0"));
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(IpAddressDialogTest, BroadcastAndMulticastNeedTheirFlags)
{
    dialog.setSubnetMask(QStringLiteral("255.255.255.0"));
    dialog.setDefaultGateway(QStringLiteral("0.0.0.0"));
    dialog.setIpAddress(QStringLiteral("192.168.1.255"));
    EXPECT_FALSE(ok->isEnabled());
    dialog.setAllowBroadcastAddress(true);
    EXPECT_TRUE(ok->isEnabled());
    dialog.setSubnetMask(QStringLiteral("/0"));
    dialog.setIpAddress(QStringLiteral("224.0.0.1"));
    EXPECT_FALSE(ok->isEnabled());
    dialog.setAllowMulticastAddress(true);
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(IpAddressDialogTest, AShownMacAddressMustBeComplete)
{
    dialog.setIpAddress(QStringLiteral("10.0.0.5"));
    dialog.setSubnetMask(QStringLiteral("255.0.0.0"));
    dialog.setDefaultGateway(QStringLiteral("10.0.0.1"));
    EXPECT_TRUE(ok->isEnabled());
    dialog.setShowMacAddress(true);
    EXPECT_TRUE(mac->isVisible());
    dialog.setMacAddress(QStringLiteral("00:11:22"));
    EXPECT_FALSE(ok->isEnabled());
    dialog.setMacAddress(QStringLiteral("00:11:22:33:44:55"));
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(IpAddressDialogTest, TheMaskIsADottedMaskHoweverItWasWritten)
{
    // Left by the user.
    typeInto(mask, QStringLiteral("/032"));
    EXPECT_EQ(dialog.subnetMask(), QStringLiteral("255.255.255.255"));
    typeAddress(QStringLiteral("10.0.0.1"));
    EXPECT_TRUE(ok->isEnabled()) << "a /32 mask names a host";

    // Accepted while the field still has the focus (Enter takes the default button).
    dialog.setSubnetMask(QStringLiteral("/ 31"));
    EXPECT_TRUE(ok->isEnabled());
    dialog.accept();
    EXPECT_EQ(dialog.subnetMask(), QStringLiteral("255.255.255.254"));
}

// "/0" is a prefix the field takes, but written out it reads 0.0.0.0, which is no mask the field takes:
// Enter in the field leaves the dialog open with OK disabled, as leaving the field does.
TEST_F(IpAddressDialogTest, EnterOnAPrefixThatIsNoMaskWrittenOutKeepsTheDialogOpen)
{
    dialog.setIpAddress(QStringLiteral("10.0.0.5"));
    dialog.setDefaultGateway(QStringLiteral("10.0.0.1"));
    for (const char* prefix : {"/0", "/+0", "/ 00"}) {
        SCOPED_TRACE(prefix);
        dialog.setSubnetMask(QString::fromLatin1(prefix));
        ASSERT_TRUE(ok->isEnabled());
        mask->setFocus();
        QTest::keyClick(mask, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_NE(dialog.result(), int(QDialog::Accepted));
        EXPECT_EQ(dialog.subnetMask(), QStringLiteral("0.0.0.0"));
        EXPECT_FALSE(ok->isEnabled());
    }
    // A prefix that is a mask written out is taken with Enter.
    dialog.setSubnetMask(QStringLiteral("/8"));
    mask->setFocus();
    QTest::keyClick(mask, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_EQ(dialog.subnetMask(), QStringLiteral("255.0.0.0"));
}

TEST_F(IpAddressDialogTest, AcceptFillsAnEmptyGateway)
{
    dialog.setIpAddress(QStringLiteral("10.0.0.5"));
    dialog.setSubnetMask(QStringLiteral("255.0.0.0"));
    dialog.accept();
    EXPECT_EQ(dialog.defaultGateway(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
}
