#pragma once
// Every text the workbench and the window show, each once. Texts with a value in them are
// functions, so that the words around the value stay together.

#include <string>

namespace ok {

// The open dialog's filter for video files (the source list and the sample analysis). Its first
// entry is the program's one list of video suffixes: folders and drops take the same, and the
// desktop entry's MIME types are held against it.
inline constexpr const char* VideoFileFilter =
    "Video Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;"
    "*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MTS;*.M2TS;*.WEBM;*.OGV;*.M4V;*.3G2|所有文件|*";

// ---- Captions and hints of the model's controls ----
inline constexpr const char* NameColumn = "文件名";
inline constexpr const char* TypeColumn = "类型";
inline constexpr const char* ResolutionColumn = "分辨率";
inline constexpr const char* DurationColumn = "时长";
inline constexpr const char* ProgressColumnCaption = "进度";
inline constexpr const char* AddFilesCaption = "添加待转视频文件";
inline constexpr const char* AddCaption = "添加";
inline constexpr const char* RemoveCaption = "删除";
inline constexpr const char* ClearCaption = "清空";
inline constexpr const char* PageCaptions[4] = {"按预置方案", "按设备类型", "按已有视频", "自己定义"};
inline constexpr const char* OutputFolderHint = "视频输出目录";
inline constexpr const char* BrowseOutputFolderHint = "另外指定输出目录";
inline constexpr const char* OpenFolderHint = "打开目录";
inline constexpr const char* StartCaption = "开始";
inline constexpr const char* PauseCaption = "暂停";
inline constexpr const char* ResumeCaption = "继续";
inline constexpr const char* StopCaption = "停止";
inline constexpr const char* PowerOffCaption = "转换完成自动关机";
inline constexpr const char* MarkStartCaption = "起始位置";
inline constexpr const char* MarkEndCaption = "结束位置";
inline constexpr const char* ClipCaption = "是否裁剪";
inline constexpr const char* FileTypeHint = "选择文件类型方案";
inline constexpr const char* PresetHint = "选择预置方案";
inline constexpr const char* BrandHint = "选择设备类型";
inline constexpr const char* CustomTypeHint = "选择转换视频类型方案";
inline constexpr const char* ApplyCustomCaption = "自定义";
inline constexpr const char* AnalyseCaption = "分析视频文件";
inline constexpr const char* CropPadCaption = "裁剪与填充";
inline constexpr const char* CropColumnLabel = "裁剪";
inline constexpr const char* PadColumnLabel = "填充";
inline constexpr const char* BrowseFolderTitle = "选择一个目录";

// The summary labels' prefixes; the device page says "桢速率".
inline constexpr const char* FrameSizePrefix = "视频像素：";
inline constexpr const char* VideoCodecPrefix = "视频编码：";
inline constexpr const char* VideoBitratePrefix = "视频码率：";
inline constexpr const char* FrameRatePrefix = "帧速率：";
inline constexpr const char* DeviceFrameRatePrefix = "桢速率：";
inline constexpr const char* AudioCodecPrefix = "音频编码：";
inline constexpr const char* AnalyseFirstText = "请先分析视频文件";

// ---- Static captions only the window draws ----
inline constexpr const char* FileMenuCaption = "文件";
inline constexpr const char* ExitCaption = "退出";
inline constexpr const char* HelpMenuCaption = "帮助";
inline constexpr const char* AboutCaption = "关于";
inline constexpr const char* OutputGroupCaption = "输出设置：";
inline constexpr const char* PreviewGroupCaption = "视频预览窗口";
inline constexpr const char* OutputFolderLabel = "输出目录：";
inline constexpr const char* FileTypeLabel = "文件类型:";
inline constexpr const char* PresetLabel = "预置方案:";
inline constexpr const char* BrandLabel = "设备品牌:";
inline constexpr const char* ModelLabel = "设备型号:";
inline constexpr const char* ExistingVideoText =
    "       比如您不知该生成什么样的视频格式给自己的手机用，但手机里已经有一些可以播放的视频文件，OK,"
    "本软件可以提取并分析这些文件为您自动生成合适的方案。";
inline constexpr const char* CustomTypeLabel = "视频类型";
inline constexpr const char* CustomSizeLabel = "视频尺寸";
inline constexpr const char* CustomSizeSeparator = "Ⅹ";
inline constexpr const char* CustomBitrateLabel = "视频比特率";
inline constexpr const char* CustomFrameRateLabel = "帧速率";
// The labels of the four crop edits and the four pad edits, in edit order.
inline constexpr const char* CropPadSideLabels[4] = {"上", "下", "左", "右"};
inline constexpr const char* AboutTitle = "关于系统";
inline constexpr const char* ProductSubtitle = "视频转换器";
inline constexpr const char* ContactText = "问题与建议请寄：support@ostrelkalvexa.example.org";
inline constexpr const char* AboutCloseCaption = "退 出";
inline constexpr const char* CancelPowerOffCaption = "取消关机";
inline constexpr const char* BatchFinishedTitle = "转换完成";
inline constexpr const char* BatchEndedTitle = "转换结束";
inline constexpr const char* SleepInhibitReason = "Converting videos";
// Accessible names of the buttons that show only an icon.
inline constexpr const char* AddFilesAccessibleName = AddFilesCaption;
inline constexpr const char* BrowseAccessibleName = BrowseOutputFolderHint;
inline constexpr const char* OpenFolderAccessibleName = OpenFolderHint;

// ---- Messages ----
inline constexpr const char* SetVideoValuesText = "请设定对应视频参数！";
inline constexpr const char* SetFrameSizeText = "请设定输入视频尺寸！";
inline constexpr const char* EnterBitrateText = "请输入视频比特率！";
inline constexpr const char* EnterFrameRateText = "请输入帧速率！";
inline constexpr const char* ChooseCustomTypeText = "请选择视频要转换的类型！";
inline constexpr const char* EnterFrameSizeText = "请输入视频尺寸！";
inline constexpr const char* EnterVideoFrameRateText = "请输入视频帧速率！";
inline constexpr const char* AnalyseSampleFirstText = "请先点击“分析视频文件”选择一个样本视频！";
inline constexpr const char* SelectFileToRemoveText = "请先选择一个视频文件进行删除！";
inline constexpr const char* SourcesOwnText = "同源视频";
inline constexpr const char* NotAddedText = "以下文件未能添加：";
inline constexpr const char* FailedProgress = "失败";
inline constexpr const char* StoppedProgress = "已停止";
inline constexpr const char* NoSuchFileText = "文件不存在";
inline constexpr const char* NoReadPermissionText = "没有读取权限";
inline constexpr const char* NotRegularFileText = "不是普通文件";
inline constexpr const char* NoVideoStreamText = "没有视频流";
inline constexpr const char* NothingLeftAfterCropText = "裁剪后没有剩下画面";
inline constexpr const char* NothingLeftAfterPadText = "填充后没有剩下画面";

inline std::string CannotCreateFolderText(const std::string& folder) {
  return "未能创建 " + folder + " 目录！";
}
inline std::string CannotSaveSettingsText(const std::string& file) {
  return "无法保存设置到 " + file + "，本次的选择不会被记住。";
}
inline std::string CannotOpenFolderText(const std::string& folder) { return "无法打开目录：" + folder; }
inline std::string CannotReadText(const std::string& reason) { return "无法读取（" + reason + "）"; }
inline std::string UnrecognisedFileText(const std::string& reason) {
  return "无法识别的文件（" + reason + "）";
}
inline std::string CannotLoadLibrariesText(const std::string& error) { return "无法加载媒体库：" + error; }
inline std::string ClipHintText(const std::string& start, const std::string& end) {
  return "裁剪：" + start + " 秒至 " + end + " 秒";
}
inline std::string CannotAnalyseText(const std::string& file) { return "无法分析视频文件 " + file + "！"; }
inline std::string SampleFormatText(const std::string& type) { return "您选择的视频格式为 ." + type; }
inline std::string CannotWriteText(const std::string& file) { return "未能写入 " + file + "！"; }
inline std::string BadFrameSizeText(const std::string& size) { return "输出视频尺寸无效：\"" + size + "\""; }
inline std::string CannotCreateOutputText(const std::string& name, const std::string& reason) {
  return "无法创建输出文件 " + name + "：" + reason;
}
inline std::string NoFreeOutputNameText(const std::string& stem) {
  return "无法为 " + stem + " 找到未用的输出文件名";
}
inline std::string PowerOffCountdownText(int seconds) {
  return "转换已完成，计算机将在 " + std::to_string(seconds) + " 秒后关机。";
}

}  // namespace ok
