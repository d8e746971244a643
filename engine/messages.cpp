#include "engine/messages.h"

const char kPrefixInput[] = "読込み";
const char kPrefixOutput[] = "出力";
const char kCaptionError[] = "エラー";
const char kCaptionConfirm[] = "確認";
const char kUnknownException[] = "不明な例外が発生 ";
const char kLogSource[] = ".\\TolvarenquistaDlg";

std::string LoadMessage(int id) {
    switch (id) {
        case kMsgNoInputFiles: return "読込みフォルダに処理対象のファイルが存在しません。";
        case kMsgOutputExists:
            return "出力フォルダに報告データファイルが存在します。\n"
                   "出力フォルダを変更するか、対象の報告データを削除した後、処理を行ってください。";
        case kMsgFatal: return "致命的なエラーが発生したため、\n処理を続行することができません。";
        case kMsgLogInitFailed: return "ログファイルの初期化に失敗しました。\n処理を続行することができません。";
        case kMsgFolderNotGiven: return "フォルダを指定してください。";
        case kMsgFolderMissing: return "フォルダが存在しません。";
        case kMsgProtectedFolder: return "出力フォルダに\n管理者権限領域のフォルダは指定できません。";
        case kMsgListMismatch:
            return "読込みファイル一覧と読込みフォルダ内のファイルが一致しません。\n読込みファイル一覧を更新します。";
        case kMsgNoFileChosen: return "カルデノを行うファイルを選択してください。";
        case kMsgReportFailed: return "処理結果ファイルの作成に失敗しました。";
        case kMsgReadFailed: return "ファイルの読込みに失敗しました。\n処理を終了します。";
        case kMsgCreateFailed: return "ファイルの作成に失敗しました。\n処理を終了します。";
        case kMsgWriteFailed: return "ファイルの書込みに失敗しました。\n処理を終了します。";
        case kMsgSameFolder: return "読込みフォルダと出力フォルダに同じフォルダを指定することはできません。";
        case kMsgConfirmConvert: return "変換処理を実行します。\nよろしいですか？";
        case kMsgConfirmExit: return "プログラムを終了します。\nよろしいですか？";
        case kMsgConfirmAbort:
            return "変換処理を中断します。\nよろしいですか？\n（注意：中断した場合、処理中のデータは全て破棄されます。"
                   "）";
        case kMsgFolderBusy:
            return "出力フォルダは他の変換処理で使用中です。\n終了するのを待ってから、処理を行ってください。";
        case kMsgFolderUnusable: return "出力フォルダを使用できません。";
        case kMsgAboutMenuItem: return "バージョン情報 Tolvarenquista(&A)...";
        default: return "";
    }
}
