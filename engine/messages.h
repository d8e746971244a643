// The system's message texts, by their string-table number. Code page 932.
#pragma once

#include <string>

enum MessageId : int {
    kMsgNoInputFiles = 103,     // 読込みフォルダに処理対象のファイルが存在しません。
    kMsgOutputExists = 104,     // 出力フォルダに報告データファイルが存在します。…
    kMsgFatal = 105,            // 致命的なエラーが発生したため、…
    kMsgLogInitFailed = 106,    // ログファイルの初期化に失敗しました。…
    kMsgFolderNotGiven = 108,   // (読込み|出力)フォルダを指定してください。
    kMsgFolderMissing = 109,    // (読込み|出力)フォルダが存在しません。
    kMsgProtectedFolder = 110,  // 出力フォルダに\n管理者権限領域のフォルダは指定できません。
    kMsgListMismatch = 112,  // 読込みファイル一覧と読込みフォルダ内のファイルが一致しません。…
    kMsgNoFileChosen = 113,  // カルデノを行うファイルを選択してください。
    kMsgReportFailed = 114,  // 処理結果ファイルの作成に失敗しました。
    kMsgReadFailed = 115,    // ファイルの読込みに失敗しました。…
    kMsgCreateFailed = 116,  // ファイルの作成に失敗しました。…
    kMsgWriteFailed = 117,   // ファイルの書込みに失敗しました。…
    kMsgSameFolder = 119,  // 読込みフォルダと出力フォルダに同じフォルダを指定することはできません。
    kMsgConfirmConvert = 120,  // 変換処理を実行します。\nよろしいですか？
    kMsgConfirmExit = 121,     // プログラムを終了します。\nよろしいですか？
    kMsgConfirmAbort = 122,    // 変換処理を中断します。…
    kMsgFolderBusy = 123,      // 出力フォルダは他の変換処理で使用中です。…
    kMsgFolderUnusable = 124,  // 出力フォルダを使用できません。 (followed by the reason)
    kMsgAboutMenuItem = 301,   // バージョン情報 Tolvarenquista(&A)...
};

// The text of a message; the empty text for an unknown number.
std::string LoadMessage(int id);

// Prefixes put in front of messages 108 and 109.
extern const char kPrefixInput[];   // 読込み
extern const char kPrefixOutput[];  // 出力

// Message-box captions.
extern const char kCaptionError[];    // エラー
extern const char kCaptionConfirm[];  // 確認

// The log text of an exception that is not a file or memory error.
extern const char kUnknownException[];  // "不明な例外が発生 "
// The dialog's name in the log: its entries carry it (the command line's carry its program name).
extern const char kLogSource[];  // ".\\TolvarenquistaDlg"
