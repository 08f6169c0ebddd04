#include "resources/window_layout.h"

namespace inkbinder {

const ControlLayout kFormLayout[] = {
    {"Command1", ControlKind::kButton, "导入txt文件夹", 720, 120, 1452, 495, 0},  // import button
    {"Command2", ControlKind::kButton, "转换生成", 3120, 120, 1332, 495, 1},      // convert button
    {"Label1", ControlKind::kStaticText, "标题名称:", 360, 840, 972, 252, 4},     // title caption
    {"Text1", ControlKind::kTextBox, "", 1440, 840, 3612, 270, 3},                // title box
    {"Label2", ControlKind::kStaticText, "", 480, 1200, 4692, 252, 5},            // status line
    {"File1", ControlKind::kFileList, "", 120, 1560, 5172, 3672, 2},              // page list
};
const size_t kFormLayoutSize = sizeof kFormLayout / sizeof kFormLayout[0];

int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

}  // namespace inkbinder
