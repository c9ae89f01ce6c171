// What a user does between focus in and focus out of a float edit box: the cases of the float boxes'
// commit tests, shared by every float editor.
#pragma once

#include <QTest>
#include <QWidget>

#include <functional>
#include <vector>

namespace testsupport {

// One visit to a float box that shows its node's value 1.257 at two decimals ("1.26"): what happens while
// the box has the focus, and the value the node must hold once the box has lost it.
struct FloatBoxSession {
    const char* what;
    std::function<void()> inside;
    double value;
};

// `changeNode` sets the node's value as the camera would while the box has the focus.
inline std::vector<FloatBoxSession> floatBoxSessions(QWidget* box, const std::function<void(double)>& changeNode)
{
    return {
        {"clicked into and left", [] {}, 1.257},
        {"changed by the camera while the box had the focus", [changeNode] { changeNode(2.0); }, 2.0},
        {"Enter on the shown value", [box] { QTest::keyClick(box, Qt::Key_Return); }, 1.257},
        {"typed and taken back with Escape",
         [box] {
             QTest::keyClicks(box, "7");
             QTest::keyClick(box, Qt::Key_Escape);
         },
         1.257},
        {"emptied: the box shows the value again", [box] { QTest::keyClick(box, Qt::Key_Backspace); }, 1.257},
        {"the shown value typed again", [box] { QTest::keyClicks(box, "1.26"); }, 1.257},
        {"typed", [box] { QTest::keyClicks(box, "3.5"); }, 3.5},
        {"typed and entered",
         [box] {
             QTest::keyClicks(box, "4.25");
             QTest::keyClick(box, Qt::Key_Return);
         },
         4.25},
    };
}

} // namespace testsupport
