#pragma once
// Every text the workbench and the window show, each once, in its Chinese source form; shown in
// the chosen language (platform/translation). Texts with a value in them are functions over a
// translated format, so that the words around the value stay together. po/en.po holds the
// English catalogue; a test holds it against this file.

#include <string>

#include "platform/text_utils.h"
#include "platform/translation.h"

namespace ok {

// A text of the interface: its source, translated whenever it is read.
struct TText {
  const char* Source;
  constexpr explicit TText(const char* source) : Source(source) {}
  operator std::string() const { return Tr(Source); }
};
inline std::string operator+(const TText& text, const std::string& more) { return std::string(text) + more; }
inline std::string operator+(const std::string& text, const TText& more) { return text + std::string(more); }

// The open dialog's filter for video files (the source list and the sample analysis). Its first
// entry is the program's one list of video suffixes: folders and drops take the same, and the
// desktop entry's MIME types are held against it.
inline constexpr TText VideoFileFilter = TText(
    "Video Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;"
    "*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MTS;*.M2TS;*.WEBM;*.OGV;*.M4V;*.3G2|所有文件|*");

// ---- Captions and hints of the model's controls ----
inline constexpr TText NameColumn = TText("文件名");
inline constexpr TText TypeColumn = TText("类型");
inline constexpr TText ResolutionColumn = TText("分辨率");
inline constexpr TText DurationColumn = TText("时长");
inline constexpr TText ProgressColumnCaption = TText("进度");
inline constexpr TText AddFilesCaption = TText("添加待转视频文件(&A)");
inline constexpr TText AddFilesHint = TText("添加待转视频文件");
inline constexpr TText AddCaption = TText("添加(&A)");
inline constexpr TText RemoveCaption = TText("删除(&R)");
inline constexpr TText ClearCaption = TText("清空(&C)");
inline constexpr TText PageCaptions[4] = {TText("按预置方案"), TText("按设备类型"), TText("按已有视频"),
                                          TText("自己定义")};
inline constexpr TText OutputFolderHint = TText("视频输出目录");
inline constexpr TText BrowseOutputFolderHint = TText("另外指定输出目录");
inline constexpr TText OpenFolderHint = TText("打开目录");
inline constexpr TText DefaultOutputFolderName = TText("输出视频");  // inside the user's Videos folder
inline constexpr TText StartCaption = TText("开始(&S)");
inline constexpr TText PauseCaption = TText("暂停(&P)");
inline constexpr TText ResumeCaption = TText("继续(&U)");
inline constexpr TText StopCaption = TText("停止(&T)");
inline constexpr TText PowerOffCaption = TText("转换完成自动关机(&W)");
inline constexpr TText MarkStartCaption = TText("起始位置");
inline constexpr TText MarkEndCaption = TText("结束位置");
inline constexpr TText ClipCaption = TText("是否裁剪(&L)");
inline constexpr TText FileTypeHint = TText("选择文件类型方案");
inline constexpr TText PresetHint = TText("选择预置方案");
inline constexpr TText BrandHint = TText("选择设备类型");
inline constexpr TText CustomTypeHint = TText("选择转换视频类型方案");
inline constexpr TText ApplyCustomCaption = TText("自定义(&M)");
inline constexpr TText AnalyseCaption = TText("分析视频文件(&V)");
inline constexpr TText CropPadCaption = TText("裁剪与填充");
inline constexpr TText CropColumnLabel = TText("裁剪");
inline constexpr TText PadColumnLabel = TText("填充");
inline constexpr TText BrowseFolderTitle = TText("选择一个目录");

// The summary labels' prefixes; the device page says "桢速率".
inline constexpr TText FrameSizePrefix = TText("视频像素：");
inline constexpr TText VideoCodecPrefix = TText("视频编码：");
inline constexpr TText VideoBitratePrefix = TText("视频码率：");
inline constexpr TText FrameRatePrefix = TText("帧速率：");
inline constexpr TText DeviceFrameRatePrefix = TText("桢速率：");
inline constexpr TText AudioCodecPrefix = TText("音频编码：");
inline constexpr TText AnalyseFirstText = TText("请先分析视频文件");

// ---- Static captions only the window draws ----
inline constexpr TText FileMenuCaption = TText("文件(&F)");
inline constexpr TText ExitCaption = TText("退出(&X)");
inline constexpr TText HelpMenuCaption = TText("帮助(&H)");
inline constexpr TText AboutCaption = TText("关于(&A)");
inline constexpr TText OutputGroupCaption = TText("输出设置：");
inline constexpr TText PreviewGroupCaption = TText("视频预览窗口");
inline constexpr TText OutputFolderLabel = TText("输出目录：");
inline constexpr TText FileTypeLabel = TText("文件类型:");
inline constexpr TText PresetLabel = TText("预置方案:");
inline constexpr TText BrandLabel = TText("设备品牌:");
inline constexpr TText ModelLabel = TText("设备型号:");
inline constexpr const char* ExistingVideoText =
    "       比如您不知该生成什么样的视频格式给自己的手机用，但手机里已经有一些可以播放的视频文件，OK,"
    "本软件可以提取并分析这些文件为您自动生成合适的方案。";
inline constexpr TText CustomTypeLabel = TText("视频类型");
inline constexpr TText CustomSizeLabel = TText("视频尺寸");
inline constexpr TText CustomSizeSeparator = TText("Ⅹ");
inline constexpr TText CustomBitrateLabel = TText("视频比特率");
inline constexpr TText CustomFrameRateLabel = TText("帧速率");
inline constexpr TText CustomQualityLabel = TText("质量");
inline constexpr TText SaveCustomPresetCaption = TText("保存为预置方案");
// The labels of the four crop edits and the four pad edits, in edit order.
inline constexpr TText CropPadSideLabels[4] = {TText("上"), TText("下"), TText("左"), TText("右")};
inline constexpr TText AboutTitle = TText("关于系统");
inline constexpr TText ProductSubtitle = TText("视频转换器");
inline constexpr TText ContactText = TText("问题与建议请寄：support@ostrelkalvexa.example.org");
inline constexpr TText AboutCloseCaption = TText("退 出");
inline constexpr TText CancelPowerOffCaption = TText("取消关机");
inline constexpr TText BatchFinishedTitle = TText("转换完成");
inline constexpr TText BatchEndedTitle = TText("转换结束");
inline constexpr TText SleepInhibitReason = TText("正在转换视频");
// Accessible names of the buttons that show only an icon.
inline constexpr TText AddFilesAccessibleName = AddFilesHint;
inline constexpr TText BrowseAccessibleName = BrowseOutputFolderHint;
inline constexpr TText OpenFolderAccessibleName = OpenFolderHint;

// ---- Messages ----
inline constexpr TText SetVideoValuesText = TText("请设定对应视频参数！");
inline constexpr TText SetFrameSizeText = TText("请设定输入视频尺寸！");
inline constexpr TText EnterBitrateText = TText("请输入视频比特率！");
inline constexpr TText EnterFrameRateText = TText("请输入帧速率！");
inline constexpr TText ChooseCustomTypeText = TText("请选择视频要转换的类型！");
inline constexpr TText EnterFrameSizeText = TText("请输入视频尺寸！");
inline constexpr TText EnterVideoFrameRateText = TText("请输入视频帧速率！");
inline constexpr TText AnalyseSampleFirstText = TText("请先点击“分析视频文件”选择一个样本视频！");
inline constexpr TText SelectFileToRemoveText = TText("请先选择一个视频文件进行删除！");
inline constexpr TText SourcesOwnText = TText("同源视频");
inline constexpr TText NotAddedText = TText("以下文件未能添加：");
inline constexpr TText FailedProgress = TText("失败");
inline constexpr TText StoppedProgress = TText("已停止");
inline constexpr TText NoSuchFileText = TText("文件不存在");
inline constexpr TText NoReadPermissionText = TText("没有读取权限");
inline constexpr TText NotRegularFileText = TText("不是普通文件");
inline constexpr TText NoVideoStreamText = TText("没有视频流");
inline constexpr TText NothingLeftAfterCropText = TText("裁剪后没有剩下画面");
inline constexpr TText SelectVideosText = TText("请选择视频！");
inline constexpr TText UnknownErrorText = TText("未知错误");
inline constexpr TText AllConvertedText = TText("视频成功转换！");
inline constexpr TText StopAndExitText = TText("视频正在转换，是否停止转换并退出？");
// A failure's cause in the window's words, before the engine's own message.
inline constexpr TText NothingDecodableCause = TText("源文件中没有可以解码的画面或声音");
inline constexpr TText NoPictureCause = TText("源文件中没有可以解码的画面");
inline constexpr TText NoSpaceCause = TText("磁盘空间不足");
inline constexpr TText NoPermissionCause = TText("没有权限");
inline constexpr TText DamagedFileCause = TText("文件已损坏或格式不支持");
inline constexpr TText EncoderCause = TText("无法打开编码器");
inline constexpr TText UnsupportedCodecCause = TText("不支持的编码");
inline constexpr TText OutOfMemoryCause = TText("内存不足");
inline constexpr TText BadFrameSizeCause = TText("视频尺寸不正确");
inline constexpr TText BadFrameRateCause = TText("帧速率不正确");
inline constexpr TText DecodingCause = TText("解码出错");
inline constexpr TText ConversionErrorCause = TText("转换出错");
inline constexpr TText NothingLeftAfterPadText = TText("填充后没有剩下画面");
// After the name of a preset the user saved, in the preset box.
inline constexpr TText UserPresetMark = TText("(我的)");
inline constexpr TText RemovePresetCaption = TText("删除预置方案");

// The format's "%s" take the values in order; formats go through xgettext's c-format check.
inline std::string CannotCreateFolderText(const std::string& folder) {
  return FormatText(Tr("未能创建 %s 目录！"), folder.c_str());
}
inline std::string CannotSaveSettingsText(const std::string& file) {
  return FormatText(Tr("无法保存设置到 %s，本次的选择不会被记住。"), file.c_str());
}
inline std::string CannotOpenFolderText(const std::string& folder) {
  return FormatText(Tr("无法打开目录：%s"), folder.c_str());
}
inline std::string CannotReadText(const std::string& reason) {
  return FormatText(Tr("无法读取（%s）"), reason.c_str());
}
inline std::string UnrecognisedFileText(const std::string& reason) {
  return FormatText(Tr("无法识别的文件（%s）"), reason.c_str());
}
inline std::string CannotLoadLibrariesText(const std::string& error) {
  return FormatText(Tr("无法加载媒体库：%s"), error.c_str());
}
inline std::string ClipHintText(const std::string& start, const std::string& end) {
  return FormatText(Tr("裁剪：%s 秒至 %s 秒"), start.c_str(), end.c_str());
}
inline std::string RemovePresetQuestion(const std::string& name) {
  return FormatText(Tr("删除预置方案“%s”吗？"), name.c_str());
}
inline std::string CannotRemovePresetText(const std::string& file, const std::string& reason) {
  return FormatText(Tr("无法删除预置方案 %s：%s"), file.c_str(), reason.c_str());
}
inline std::string CannotAnalyseText(const std::string& file) {
  return FormatText(Tr("无法分析视频文件 %s！"), file.c_str());
}
inline std::string SampleFormatText(const std::string& type) {
  return FormatText(Tr("您选择的视频格式为 .%s"), type.c_str());
}
inline std::string CannotWriteText(const std::string& file) {
  return FormatText(Tr("未能写入 %s！"), file.c_str());
}
inline std::string BadFrameSizeText(const std::string& size) {
  return FormatText(Tr("输出视频尺寸无效：\"%s\""), size.c_str());
}
inline std::string CannotCreateOutputText(const std::string& name, const std::string& reason) {
  return FormatText(Tr("无法创建输出文件 %s：%s"), name.c_str(), reason.c_str());
}
inline std::string NoFreeOutputNameText(const std::string& stem) {
  return FormatText(Tr("无法为 %s 找到未用的输出文件名"), stem.c_str());
}
inline std::string FailureCauseText(const std::string& cause, const std::string& detail) {
  return detail.empty() ? cause : FormatText(Tr("%s（%s）"), cause.c_str(), detail.c_str());
}
inline std::string CannotBuildTaskText(const std::string& file, const std::string& cause) {
  return FormatText(Tr("无法建立 %s 的转换任务：\n%s"), file.c_str(), cause.c_str());
}
inline std::string ConversionFailedText(const std::string& cause) {
  return FormatText(Tr("转换失败：%s"), cause.c_str());
}
inline std::string CannotPowerOffText(const std::string& error) {
  return FormatText(Tr("无法关机：%s"), error.c_str());
}
inline std::string FailedFileText(const std::string& file, const std::string& failure) {
  return FormatText(Tr("%s：%s"), file.c_str(), failure.c_str());
}
inline std::string BatchReportText(int finished, int failed, int stopped) {
  return FormatText(Tr("转换结束：成功 %d 个，失败 %d 个，已停止 %d 个。"), finished, failed, stopped);
}
inline std::string PowerOffCountdownText(int seconds) {
  return FormatText(Tr("转换已完成，计算机将在 %d 秒后关机。"), seconds);
}

// ---- The size limit ----
inline constexpr TText SizeLimitCaption = TText("限制文件大小(&I)");
inline constexpr TText SizeLimitHint = TText("每个输出文件都不超过这个大小");
inline constexpr TText OverTheLimitText = TText("超过限制");
inline constexpr TText NoPassFolderText = TText("无法创建两遍编码的临时目录");
inline std::string ExpectedBytesText(const std::string& size) {
  return FormatText(Tr("预计 %s"), size.c_str());
}
inline std::string LeastSizeText(const std::string& size) {
  return FormatText(Tr("至少需要 %s"), size.c_str());
}
inline std::string LimitOutOfReachText(const std::string& limit, const std::string& least) {
  return FormatText(Tr("文件大小限制为 %s，至少需要 %s"), limit.c_str(), least.c_str());
}
inline std::string CopyOverTheLimitText(const std::string& expected, const std::string& limit) {
  return FormatText(Tr("复制流不会重新编码，预计 %s，超过限制 %s"), expected.c_str(), limit.c_str());
}
inline std::string OutputOverTheLimitText(const std::string& size, const std::string& limit) {
  return FormatText(Tr("输出文件 %s 超过大小限制 %s"), size.c_str(), limit.c_str());
}

// ---- The summary labels of quality-based profiles ----
inline constexpr TText SameAsSourceText = TText("与源相同");
inline constexpr TText StreamCopyText = TText("复制，不重新编码");
inline std::string BoxSizeText(const std::string& size) { return FormatText(Tr("不超过 %s"), size.c_str()); }
inline std::string QualityText(const std::string& quality) {
  return FormatText(Tr("质量 %s"), quality.c_str());
}
inline std::string QualityCapText(const std::string& quality, int kbits) {
  return FormatText(Tr("质量 %s，最高 %dK"), quality.c_str(), kbits);
}
inline std::string RateCapText(const std::string& rate) {
  return FormatText(Tr("与源相同，最高 %s"), rate.c_str());
}
inline constexpr TText RemuxRateText = TText("与源相同，剪辑在关键帧处切开");
inline std::string ContainerCannotHoldText(const std::string& container, int stream,
                                           const std::string& codec) {
  return FormatText(Tr("%s 容器不能容纳第 %d 条流（%s）"), container.c_str(), stream, codec.c_str());
}
inline std::string EncoderMissingText(const std::string& encoders) {
  return FormatText(Tr("已加载的 FFmpeg 没有 %s 编码器，不能使用此方案"), encoders.c_str());
}
inline std::string QualityHintText(int lowest, int highest, const std::string& preset) {
  return FormatText(Tr("质量 %d 到 %d，数字越小画质越好；留空即方案的 %s"), lowest, highest, preset.c_str());
}
inline std::string QualityOutOfRangeText(const std::string& quality, int lowest, int highest) {
  return FormatText(Tr("质量 %s 超出范围，此类型只能用 %d 到 %d！"), quality.c_str(), lowest, highest);
}
inline std::string NoTypePresetText(const std::string& file) {
  return FormatText(Tr("找不到此类型的基本方案 %s"), file.c_str());
}

// ---- Saving the custom page as a preset ----
inline constexpr TText PresetNamePrompt = TText("预置方案的名称：");
inline constexpr TText EmptyPresetNameText = TText("请输入预置方案的名称！");
inline constexpr TText BadPresetNameText = TText("预置方案的名称不能含有“/”，也不能是“.”或“..”！");
inline std::string OverwritePresetText(const std::string& name) {
  return FormatText(Tr("预置方案“%s”已经存在，是否替换？"), name.c_str());
}
inline std::string CannotSavePresetText(const std::string& file) {
  return FormatText(Tr("不能保存预置方案 %s"), file.c_str());
}
inline std::string PresetSavedText(const std::string& name, const std::string& type) {
  return FormatText(Tr("预置方案“%s”已保存在“%s”类型下。"), name.c_str(), type.c_str());
}
inline std::string StereoText(const std::string& codec) { return FormatText(Tr("%s 立体声"), codec.c_str()); }
inline std::string UpToChannelsText(const std::string& codec, int channels) {
  return FormatText(Tr("%s 最多 %d 声道"), codec.c_str(), channels);
}

}  // namespace ok
