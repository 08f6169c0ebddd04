#pragma once

namespace inkbinder {

// The texts the user sees, shared by every front end.
inline constexpr char kNoPagesText[] = "加载文件后再转换吧!:)";
inline constexpr char kNoPagesCaption[] = "提示:)";
inline constexpr char kNoTitleText[] = "请输入标题名称";
inline constexpr char kBadTitleText[] = "标题名称不能包含下列字符：\\ / : * ? \" < > |";
inline constexpr char kTitleNotInCodePageText[] = "标题名称只能使用 GBK 字符集中的字符";
inline constexpr char kTitleNotAFileNameText[] = "标题名称不能用作文件名";
inline constexpr char kTitleCaption[] = "消息";

inline constexpr char kWaitingStatus[] = "生成中....请稍等";
inline constexpr char kSuccessStatus[] = "生成成功";
inline constexpr char kWriteFailedStatus[] = "生成失败：无法写入文件 ";  // + the file's name
inline constexpr char kNoCompilerStatus[] = "生成失败：找不到编译器 ";   // + the compiler's name
inline constexpr char kNotStartedStatus[] = "生成失败：无法启动编译器 ";  // + the compiler's name
inline constexpr char kCompileFailedStatus[] = "生成失败：编译出错";
inline constexpr char kBusyStatus[] = "生成失败：此文件夹正在转换中";
inline constexpr char kInterruptedStatus[] = "生成失败：转换已中断";
// After an import: "已略过 N 个无法放入手册的文件".
inline constexpr char kLeftOutStatusBefore[] = "已略过 ";
inline constexpr char kLeftOutStatusAfter[] = " 个无法放入手册的文件";

}  // namespace inkbinder
