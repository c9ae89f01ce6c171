// The message box with check box, the search field, the tree-widget base and the about dialog.
#include "QtPrinters.h"

#include "orbelt/AboutDialog.h"
#include "orbelt/MessageBoxCheckable.h"
#include "orbelt/SearchEdit.h"
#include "orbelt/TreeWidgetBase.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDataStream>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>

namespace {
// Runs action on the dialog once it is shown by exec(); gives up (rejecting) after a while.
void whenShown(QDialog* dialog, std::function<void()> action)
{
    auto* timer = new QTimer(dialog);
    auto started = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, dialog, [=] {
        if (dialog->isVisible()) {
            timer->stop();
            action();
        } else if (++*started > 500) {
            timer->stop();
            dialog->reject();
        }
    });
    timer->start(10);
}

int storedValue(const QString& key)
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("DoNotShowAgain"));
    return settings.value(key, -1).toInt();
}
} // namespace

class MessageBoxCheckableTest : public ::testing::Test {
protected:
    void SetUp() override { MessageBoxCheckable::resetAll(); }
    void TearDown() override { MessageBoxCheckable::resetAll(); }

    // Shows the dialog, ticks the box when asked and presses the given button.
    int answer(MessageBoxCheckable& box, QMessageBox::StandardButton button, bool tick)
    {
        whenShown(&box, [&box, button, tick] {
            ASSERT_NE(box.checkBox(), nullptr);
            box.checkBox()->setChecked(tick);
            box.button(button)->click();
        });
        return box.exec();
    }
};

TEST_F(MessageBoxCheckableTest, AStoredAnswerIsReturnedWithoutShowingTheDialog)
{
    {
        MessageBoxCheckable box(QStringLiteral("ask"), QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                                QMessageBox::Yes | QMessageBox::No, nullptr);
        box.setSaveResultOnButton(QMessageBox::Yes);
        EXPECT_EQ(answer(box, QMessageBox::Yes, true), int(QMessageBox::Yes));
        EXPECT_EQ(box.checkBox()->text(), QStringLiteral("&Don't show this dialog again"));
    }
    EXPECT_EQ(storedValue(QStringLiteral("ask")), int(QMessageBox::Yes));
    MessageBoxCheckable again(QStringLiteral("ask"), QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                              QMessageBox::Yes | QMessageBox::No, nullptr);
    whenShown(&again, [&again] { again.button(QMessageBox::No)->click(); }); // only if it wrongly appears
    EXPECT_EQ(again.exec(), int(QMessageBox::Yes));
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(again.checkBox(), nullptr); // never shown, so never given a check box
}

TEST_F(MessageBoxCheckableTest, StoringRuleTable)
{
    struct Case {
        QFlags<QMessageBox::StandardButton> storable;
        QMessageBox::StandardButton pressed;
        bool tick;
        int stored;
    } cases[] = {
        {QMessageBox::Yes, QMessageBox::Yes, true, int(QMessageBox::Yes)},
        {QMessageBox::Yes, QMessageBox::No, true, -1},
        {QMessageBox::Yes, QMessageBox::Yes, false, -1},
        {QMessageBox::Yes | QMessageBox::No, QMessageBox::No, true, int(QMessageBox::No)},
        {{}, QMessageBox::Yes, true, -1}, // without storable buttons only a result of 0 would be stored
    };
    for (const Case& c : cases) {
        MessageBoxCheckable::resetAll();
        MessageBoxCheckable box(QStringLiteral("rule"), QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                                QMessageBox::Yes | QMessageBox::No, nullptr);
        box.setSaveResultOnButton(c.storable);
        answer(box, c.pressed, c.tick);
        EXPECT_EQ(storedValue(QStringLiteral("rule")), c.stored) << int(c.storable) << " " << int(c.pressed);
    }
}

TEST_F(MessageBoxCheckableTest, AStorableCustomButtonStoresItsResult)
{
    MessageBoxCheckable box(QStringLiteral("custom"), nullptr);
    QPushButton* later = box.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    box.addButton(QStringLiteral("Now"), QMessageBox::AcceptRole);
    box.setSaveResultOnButton(later);
    whenShown(&box, [&] {
        box.checkBox()->setChecked(true);
        later->click();
    });
    const int result = box.exec();
    EXPECT_EQ(storedValue(QStringLiteral("custom")), result);
}

TEST_F(MessageBoxCheckableTest, ResetRemovesOneKeyAndRefusesAnEmptyOne)
{
    MessageBoxCheckable box(QStringLiteral("one"), nullptr);
    box.saveDoNotShowAgain(int(QMessageBox::Ok));
    MessageBoxCheckable other(QStringLiteral("two"), nullptr);
    other.saveDoNotShowAgain(int(QMessageBox::Cancel));
    MessageBoxCheckable nameless(QString(), nullptr);
    EXPECT_FALSE(nameless.reset());
    EXPECT_EQ(storedValue(QStringLiteral("two")), int(QMessageBox::Cancel));
    EXPECT_TRUE(box.reset());
    EXPECT_EQ(storedValue(QStringLiteral("one")), -1);
    EXPECT_EQ(storedValue(QStringLiteral("two")), int(QMessageBox::Cancel));
    EXPECT_TRUE(MessageBoxCheckable::resetAll());
    EXPECT_EQ(storedValue(QStringLiteral("two")), -1);
}

TEST_F(MessageBoxCheckableTest, AnEmptyCheckBoxTextRestoresTheDefault)
{
    MessageBoxCheckable box(QStringLiteral("text"), nullptr);
    box.setCheckBoxText(QStringLiteral("Remember"));
    EXPECT_EQ(box.checkBoxText(), QStringLiteral("Remember"));
    box.setCheckBoxText(QString());
    EXPECT_EQ(box.checkBoxText(), QStringLiteral("&Don't show this dialog again"));
}

TEST(SearchEditTest, MagnifierAndClearButtonSwapWithTheText)
{
    SearchEdit edit;
    edit.setHintText(QStringLiteral("Search features"));
    edit.show();
    EXPECT_TRUE(edit.magnifierAction()->isVisible());
    EXPECT_FALSE(edit.clearAction()->isVisible());
    EXPECT_FALSE(edit.magnifierAction()->isEnabled());
    QTest::keyClicks(&edit, QStringLiteral("Gain"));
    EXPECT_FALSE(edit.magnifierAction()->isVisible());
    EXPECT_TRUE(edit.clearAction()->isVisible());
    edit.clearAction()->trigger();
    EXPECT_TRUE(edit.text().isEmpty());
    EXPECT_TRUE(edit.magnifierAction()->isVisible());
    EXPECT_FALSE(edit.clearAction()->isVisible());
    QTest::keyClicks(&edit, QStringLiteral("x"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_TRUE(edit.magnifierAction()->isVisible());
    EXPECT_EQ(edit.sizeHint(), edit.fontMetrics().boundingRect(QStringLiteral("Search features")).size());
}

// The hint is drawn into the empty field, clear of the trailing icon, and goes with the first letter typed:
// the same field without a hint differs by exactly those pixels.
TEST(SearchEditTest, HintIsDrawnIntoTheEmptyFieldClearOfTheIcon)
{
    SearchEdit withHint;
    SearchEdit plain;
    withHint.setHintText(QStringLiteral("Search the features by name or by value"));
    for (SearchEdit* edit : {&withHint, &plain}) {
        edit->setFocusPolicy(Qt::NoFocus); // no cursor in the pictures
        edit->resize(180, 26);
        edit->show();
    }
    const QImage hinted = withHint.grab().toImage();
    const QImage blank = plain.grab().toImage();
    ASSERT_EQ(hinted.size(), blank.size());
    int right = -1;
    for (int y = 0; y < hinted.height(); ++y)
        for (int x = 0; x < hinted.width(); ++x)
            if (hinted.pixel(x, y) != blank.pixel(x, y))
                right = qMax(right, x);
    ASSERT_GE(right, 0) << "no hint is drawn";
    EXPECT_LT(right, withHint.width() - withHint.height()) << "the hint runs under the trailing icon";

    for (SearchEdit* edit : {&withHint, &plain})
        QTest::keyClicks(edit, QStringLiteral("x"));
    EXPECT_EQ(withHint.grab().toImage(), plain.grab().toImage()) << "the hint stays under the typed text";
}

namespace {
class Panel : public TreeWidgetBase {
public:
    explicit Panel(int columns) : view(new QTreeView(this))
    {
        model.setColumnCount(columns);
        view->setModel(&model);
        view->header()->setStretchLastSection(false);
        for (int i = 0; i < columns; ++i)
            view->header()->resizeSection(i, 50 + 10 * i);
    }
    QTreeView* treeView() override { return view; }
    void onSaveState(QDataStream& stream) override { stream << extra; }
    void onRestoreState(QDataStream& stream) override { stream >> extra; }
    int size(int i) const { return view->header()->sectionSize(i); }

    QStandardItemModel model;
    QTreeView* view;
    qint32 extra = 0;
};
} // namespace

TEST(TreeWidgetBaseTest, ColumnWidthsAndDerivedDataRoundTrip)
{
    Panel source(4);
    source.view->header()->resizeSection(0, 120);
    source.view->header()->resizeSection(3, 200);
    source.extra = 77;
    const QByteArray state = source.saveState(2);

    Panel target(4);
    const int lastBefore = target.size(3);
    ASSERT_TRUE(target.restoreState(state, 2));
    EXPECT_EQ(target.size(0), 120);
    EXPECT_EQ(target.size(3), lastBefore); // the last column keeps its width
    EXPECT_EQ(target.extra, 77);
}

TEST(TreeWidgetBaseTest, RefusedStatesChangeNothing)
{
    Panel source(4);
    source.view->header()->resizeSection(0, 120);
    const QByteArray state = source.saveState(2);
    struct Case {
        const char* what;
        QByteArray state;
        int version;
        int columns;
    } cases[] = {
        {"other version", state, 3, 4},
        {"other column count", state, 2, 5},
        {"empty", QByteArray(), 2, 4},
        {"truncated header", state.left(6), 2, 4},
    };
    for (const Case& c : cases) {
        Panel target(c.columns);
        const int before = target.size(0);
        EXPECT_FALSE(target.restoreState(c.state, c.version)) << c.what;
        EXPECT_EQ(target.size(0), before) << c.what;
    }
    Panel truncated(4);
    EXPECT_FALSE(truncated.restoreState(state.left(8 + 4 * 2), 2)); // two of four sizes
}

TEST(AboutDialogTest, TitleAndTextComeFromTheApplicationAndTheSetters)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kalmuth Org"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kalmuth.example"));
    AboutDialog about(nullptr);
    about.setProductVersion(QStringLiteral("5.2.1"));
    about.setCopyrightTimeRange(QStringLiteral("2019-2026"));
    QWidget* dialog = about.dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), QStringLiteral("AboutDialog"));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("About %1").arg(QCoreApplication::applicationName()));
    EXPECT_EQ(dialog->size(), QSize(500, 312));
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowContextHelpButtonHint);
    auto* label = dialog->findChild<QLabel*>(QStringLiteral("label"));
    ASSERT_NE(label, nullptr);
    for (const QString& part :
         {QCoreApplication::applicationName(), QStringLiteral("5.2.1"), QStringLiteral("2019-2026"),
          QStringLiteral("Kalmuth Org"), QStringLiteral("kalmuth.example")})
        EXPECT_TRUE(label->text().contains(part)) << part.toStdString();
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    whenShown(static_cast<QDialog*>(dialog), [buttons] { buttons->button(QDialogButtonBox::Ok)->click(); });
    EXPECT_EQ(about.exec(), int(QDialog::Accepted));
    QCoreApplication::setOrganizationName(QStringLiteral("KalmuthTests"));
}

namespace {

// The about dialog's form: its parts by name, where they stand, and how they look.
TEST(AboutDialogTest, FormHoldsItsPartsWhereTheyStand)
{
    AboutDialog about(nullptr);
    auto* dialog = static_cast<QDialog*>(about.dialog());
    EXPECT_EQ(dialog->minimumSize(), QSize(500, 312));
    EXPECT_EQ(dialog->maximumSize(), QSize(500, 312));
    EXPECT_EQ(dialog->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(dialog->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(dialog->isModal());
    EXPECT_TRUE(dialog->autoFillBackground());
    EXPECT_TRUE(dialog->styleSheet().isEmpty());

    auto* upper = dialog->findChild<QFrame*>(QStringLiteral("upperFrame"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->geometry(), QRect(-1, 0, 501, 270));
    EXPECT_EQ(upper->frameShape(), QFrame::StyledPanel);
    EXPECT_EQ(upper->frameShadow(), QFrame::Raised);
    auto* background = upper->findChild<QLabel*>(QStringLiteral("backgroundImage"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->geometry(), QRect(0, 0, 500, 270));
    ASSERT_NE(background->pixmap(), nullptr);
    EXPECT_FALSE(background->pixmap()->isNull());
    auto* label = upper->findChild<QLabel*>(QStringLiteral("label"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->geometry(), QRect(190, 80, 249, 159));
    EXPECT_EQ(label->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    EXPECT_EQ(label->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    EXPECT_EQ(label->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(label->wordWrap());
    EXPECT_TRUE(label->openExternalLinks());

    auto* lower = dialog->findChild<QFrame*>(QStringLiteral("lowerFrame"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(lower->geometry(), QRect(0, 270, 500, 42));
    EXPECT_EQ(lower->lineWidth(), 0);
    auto* row = qobject_cast<QHBoxLayout*>(lower->layout());
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->objectName(), QStringLiteral("horizontalLayout"));
    EXPECT_EQ(row->contentsMargins(), QMargins(10, 0, 10, 0));
    ASSERT_EQ(row->count(), 3);
    auto* logo = qobject_cast<QLabel*>(row->itemAt(0)->widget());
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->objectName(), QStringLiteral("labelUrl"));
    ASSERT_NE(logo->pixmap(), nullptr);
    EXPECT_FALSE(logo->pixmap()->isNull());
    QSpacerItem* spacer = row->itemAt(1)->spacerItem();
    ASSERT_NE(spacer, nullptr);
    EXPECT_EQ(spacer->sizeHint(), QSize(185, 20));
    EXPECT_EQ(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    EXPECT_EQ(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    auto* buttons = qobject_cast<QDialogButtonBox*>(row->itemAt(2)->widget());
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->objectName(), QStringLiteral("buttonBox"));
    EXPECT_EQ(buttons->standardButtons(), QDialogButtonBox::Ok);
}

} // namespace
