#pragma once
// Fixed texts of the main window that the model and the views share.

namespace ok {

// The open dialog's filter for video files (the source list and the sample analysis). Its first
// entry is the program's one list of video suffixes: folders and drops take the same, and the
// desktop entry's MIME types are held against it.
inline constexpr const char* VideoFileFilter =
    "Video Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;"
    "*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MTS;*.M2TS;*.WEBM;*.OGV;*.M4V;*.3G2|所有文件|*";

// Static captions the views draw as they are.
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
inline constexpr const char* CropColumnLabel = "裁剪";
inline constexpr const char* PadColumnLabel = "填充";
// The labels of the four crop edits and the four pad edits, in edit order.
inline constexpr const char* CropPadSideLabels[4] = {"上", "下", "左", "右"};
inline constexpr const char* BrowseFolderTitle = "选择一个目录";

// ---- The size limit ----
inline constexpr const char* SizeLimitCaption = "限制文件大小";
inline constexpr const char* SizeLimitHint = "每个输出文件都不超过这个大小";
// ---- end of the size limit ----

}  // namespace ok
