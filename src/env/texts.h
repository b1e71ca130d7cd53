// Every text the updater shows or logs, in one place, so that the system's own
// words can be read and reviewed together. Source files are UTF-8; the Windows
// build compiles them to GBK.
#pragma once

namespace texts {

// Start-up and dialog.
inline constexpr char kInstallFirst[] = "Please install Velmar Acc first.";
inline constexpr char kDialogCaption[] = "Velmar Updater";
// The version resource of updater.exe: its maker and the product it serves
// (its description is the dialog's caption).
inline constexpr char kCompanyName[] = "Korrin";
inline constexpr char kProductName[] = "Velmar Acc";
inline constexpr char kLabelState[] = "目前状态";
inline constexpr char kLabelCurrentFile[] = "当前文件";
inline constexpr char kLabelTotal[] = "  全  部";
inline constexpr char kButtonUpdate[] = "更新";
inline constexpr char kButtonClose[] = "关闭";
inline constexpr char kCurrentVersionFormat[] = "当前版本号：%s";
inline constexpr char kLatestVersionFormat[] = "最新版本号：%s";
inline constexpr char kAboutMenuItem[] = "&About Velmar Updater...";
inline constexpr char kAboutCaption[] = "About Updater";
inline constexpr char kAboutVersion[] = "Updater Version 1.0";
inline constexpr char kAboutSecondLine[] = "Keeps Velmar Acc up to date.";
inline constexpr char kButtonOk[] = "OK";
// The buttons of the Abort/Retry/Ignore question; "&" marks the access key.
inline constexpr char kButtonAbort[] = "中止(&A)";
inline constexpr char kButtonRetry[] = "重试(&R)";
inline constexpr char kButtonIgnore[] = "忽略(&I)";
// The console front-end's prompts.
inline constexpr char kConsoleUpdatePrompt[] = "按回车键开始更新，输入 q 关闭: ";
inline constexpr char kConsoleQuestionPrompt[] = "请选择 (A/R/I): ";

// The update run.
inline constexpr char kStartTimeFormat[] = "开始时间: %Y-%m-%d %H:%M:%S";
inline constexpr char kCheckingUpdate[] = "检查更新信息";
inline constexpr char kCannotFetchUpdate[] = "无法获取更新信息。";
inline constexpr char kNoUpdateInfo[] = "没有任何更新信息。";
inline constexpr char kAnalysingUpdate[] = "分析更新信息";
inline constexpr char kParseErrorFormat[] = "Error in (Row: %d, Col %d) %s: %s\n";
// The description in that line for a manifest nested deeper than the parser
// may go, in the parser's own style.
inline constexpr char kNestingTooDeep[] = "Elements nested too deeply.";
inline constexpr char kUpdateInfoWrong[] = "更新信息不对，请与Korrin公司联系";
// The signed manifest: why one is refused, and the line for one that verified.
inline constexpr char kSignatureUnavailable[] = "无法获取更新信息的签名。";
inline constexpr char kSignatureInvalid[] = "更新信息的签名无效。";
inline constexpr char kManifestReplayed[] = "更新信息比上次的旧，已拒绝。";
inline constexpr char kManifestExpired[] = "更新信息已过期。";
inline constexpr char kManifestNoExpiry[] = "更新信息没有有效期。";
inline constexpr char kPackageNotVouched[] = "更新信息缺少文件的SHA-256校验值或大小。";
// The client's own record of the newest signed manifest cannot be written, or
// holds no number: no signed manifest can be held against it.
inline constexpr char kManifestTimeNotSaved[] = "无法记录更新信息的时间，本次不更新。";
inline constexpr char kManifestTimeUnusable[] =
    "注册表中的manifesttime不是数字，请管理员修正后再更新。";
inline constexpr char kSignatureOk[] = "更新信息签名正确";
inline constexpr char kAlreadyLatest[] = "你使用的已经是最新版本";
inline constexpr char kStartingUpdate[] = "开始更新";
inline constexpr char kUpdateFinished[] = "更新完毕";
// Instead of that when a package's file did not arrive.
inline constexpr char kUpdateIncomplete[] = "更新未完成，下次启动时将重试";
// A due update that this process has no rights to carry out: a restart with
// administrator rights, and when that is declined or cannot be had.
inline constexpr char kRestartingElevated[] = "需要管理员权限，正在以管理员身份重新启动更新程序";
inline constexpr char kCancelledNoAdminRights[] = "没有管理员权限，更新已取消";
// Logged only, before the error number of a restart that failed otherwise.
inline constexpr char kRestartFailed[] = "无法以管理员身份启动更新程序，错误 ";
inline constexpr char kEndTimeFormat[] = "结束时间: %Y-%m-%d %H:%M:%S\r\n";

// An atomic update: an action failed and everything was put back; a start
// found an update cut short and put everything back.
inline constexpr char kUpdateRolledBack[] = "更新失败，已恢复原来的版本";
inline constexpr char kLastUpdateRolledBack[] = "上次更新没有完成，已恢复原来的版本";

// Package download and verification.
inline constexpr char kDownloadingFile[] = "下载文件: ";
inline constexpr char kCheckingFile[] = "检验下载文件";
inline constexpr char kFileCheckFailed[] = "文件校验错误，重新下载";
inline constexpr char kFileCheckOk[] = "文件校验正确";
inline constexpr char kCannotDownload[] = "文件无法下载，请与Korrin公司联系";
inline constexpr char kSkipPackage[] = "跳过此更新包";

// The downloader.
inline constexpr char kCannotSaveDownload[] = "无法保存下载的文件";
inline constexpr char kDownloadError[] = "下载文件出错";
inline constexpr char kSaveDownloadError[] = "保存下载文件出错";
inline constexpr char kUserAgent[] = "Velmar_AutoUpdate_Agent";

// Actions.
inline constexpr char kFileNotFound[] = "文件没有发现：";
inline constexpr char kUnzipping[] = "正在解压文件: ";
inline constexpr char kUnzipError[] = "解压文件出错: ";
inline constexpr char kUnzipDone[] = "解压文件完毕";
inline constexpr char kCannotCloseFormat[] = "无法关闭应用程序：%s";

}  // namespace texts
