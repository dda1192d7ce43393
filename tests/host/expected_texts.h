// The texts the command shows, as a reader would type them: UTF-8, never the command's
// own code page 932 bytes. Tests compare the output with iconv's encoding of these.
#pragma once

const char* const kExpectedBanner[] = {
    "\nVelmor コマンド Version 1.4.0\n",
    "指定したユーザーアカウントでコマンドラインを実行します。\n",
};

const char* const kExpectedUsage[] = {
    "\nVelmor [/nologo | /logo] [/noprofile | /profile] [/noenv | /env]\n",
    "       [/user:<ユーザー名>] [/password:<パスワード>] [/nowait | /wait]\n",
    "       [/nohide | /hide] [/workdir:<作業ディレクトリ>] [プログラム]\n\n",
    "  /nologo     アプリケーション情報を表示しません。\n",
    "  /logo       アプリケーション情報を表示します(既定値)。\n",
    "  /noprofile  ユーザープロファイルを読み込まずにコマンドラインを実行します。\n",
    "  /profile    ユーザープロファイルを読み込んでからコマンドラインを\n",
    "              実行します(既定値)。\n",
    "  /noenv      指定ユーザーの環境を使用します(既定値)。\n",
    "  /env        Velmor コマンド実行ユーザーの環境を使用します。\n",
    "  /user       ユーザー名を指定します。\"ドメイン\\ユーザー\" もしくは\n",
    "              \"ユーザー@ドメイン\" の形式で指定します。\n",
    "  /password   ユーザーのパスワードを指定します。\n",
    "  /nowait     コマンドラインが終了するまで待ちません(既定値)。\n",
    "  /wait       コマンドラインが終了するまで待ちます。実行したコマンドラインの\n",
    "              終了ステータスが Velmor コマンドの終了ステータスに反映されます。\n",
    "  /nohide     ウインドウを非表示にしません(既定値)。\n",
    "  /hide       ウインドウを非表示にします。\n",
    "  /workdir    実行するコマンドラインの作業ディレクトリを指定します。\n",
    "              作業ディレクトリにスペースが含まれている場合は\n",
    "              \"/workdir:C:\\Program Files\" のように\n",
    "              ダブルコーテーション '\"' で括って指定します。\n",
    "  プログラム  実行するコマンドラインを指定します。\n",
    "              コマンドラインにダブルコーテーション '\"' が含まれる場合は\n",
    "              ダブルクォーテーションの前に\n",
    "              バックスラッシュ '\\' を追加して指定します。\n",
    "              コマンドラインにスペースが含まれるファイルを指定する場合や\n",
    "              複数のパラメータが含まれる場合がこれに該当します。\n",
};

const char kExpectedUserRequired[] = "\nユーザー名を指定してください。\n";
const char kExpectedCommandRequired[] = "\n実行するコマンドラインを指定してください。\n";
const char kExpectedLaunchFailed[] = "\nコマンドの実行に失敗しました。\n";
const char kExpectedExitStatusFailed[] = "\n終了ステータスの取得に失敗しました。\n";
const char kExpectedValueTooLong[] = "\n指定された値が長すぎます(1023 文字まで)。\n";
const char kExpectedCredentialUnreadable[] =
    "\n資格情報マネージャーから資格情報を読み取れませんでした。\n";
const char kExpectedCredentialNotText[] =
    "\n資格情報のパスワードが UTF-16 の文字列ではありません。\n";
const char kExpectedInputIsConsole[] =
    "\n標準入力がコンソールです。パスワードはパイプかファイルで渡してください。\n";
const char kExpectedInputEmpty[] = "\n標準入力からパスワードを読み取れませんでした。\n";
const char kExpectedInputHasZeroByte[] =
    "\n標準入力のパスワードに 0 のバイトが含まれています。\n";
const char kExpectedPasswordNeedsColon[] =
    "\nパスワードは /password:<パスワード> の形式で、コロンに続けて指定してください。\n";
const char kExpectedPasswordNotInCodePage[] =
    "\nパスワードに ANSI コード ページで表せない文字が含まれています。/credential: を使用してください。\n";
const char kExpectedInputNotInCodePage[] =
    "\n標準入力のパスワードが ANSI コード ページの文字列ではありません (BOM 付きの UTF-8 など)。/credential: を使用してください。\n";
const char kExpectedInputFileWithStdio[] =
    "\n/stdio を指定したときは、/password-stdin の標準入力にファイルを使用できません。パイプで渡してください。\n";
const char kExpectedTimeLimitReached[] =
    "\n指定された時間内にコマンドラインが終了しなかったため、強制終了しました。\n";
const char kExpectedTimeLimitInvalid[] =
    "\n待ち時間の上限には 1 から 4294967 までの秒数を指定してください。\n";
const char kExpectedJobFailed[] = "\nコマンドラインをジョブとして実行できませんでした。\n";

// The hints of /reason, a line each after a failure's code and Windows' text.
const char kExpectedHintWrongPassword[] =
    "ユーザー名とパスワードを確認してください。失敗するたびに、アカウント ロックアウトのしきい値に向けて失敗回数が増えます。\n";
const char kExpectedHintAccountRestriction[] =
    "アカウントの制限と状態 (ログオン時間、ログオン先、パスワードとアカウントの有効期限、無効化、ロックアウト、次回ログオン時のパスワード変更) を確認してください。\n";
const char kExpectedHintLogonRight[] =
    "このアカウントには「ローカル ログオンを許可」の権利がないか、「ローカル ログオンを拒否」に含まれています。/netonly ではこの権利は不要です。\n";
const char kExpectedHintSecondaryLogon[] =
    "Secondary Logon サービス (seclogon) が無効になっているか、開始できません。sc.exe qc seclogon で確認してください。\n";
const char kExpectedHintLocalSystem[] =
    "Secondary Logon サービスは、LocalSystem で実行中のプロセス (サービスや、SYSTEM で実行するタスク) からの要求を拒否します。タスクはユーザー アカウントで実行してください。\n";
const char kExpectedHintElevation[] = "プログラムが昇格を要求していますが、Velmor では昇格したプログラムを起動できません。\n";
const char kExpectedHintNotFound[] =
    "指定したアカウントでは、プログラムまたはフォルダーが見つかりません。ネットワーク ドライブの割り当ては引き継がれないため、完全なローカル パスか UNC パスを指定してください。\n";
const char kExpectedHintWorkDir[] =
    "作業ディレクトリが存在しないか、指定したアカウントで開けません。/workdir: を指定しない場合は、Velmor の現在のディレクトリが使われます。\n";
const char kExpectedHintNotAProgram[] = "このコンピューターで実行できる Windows プログラムではありません。\n";
const char kExpectedHintNoLogonServer[] = "ログオン サーバー (ドメイン コントローラー) に接続できません。\n";
const char kExpectedHintNestedJob[] =
    "Windows 8 および Windows Server 2012 より前の Windows では、ログオン サービスが起動したプログラムを 2 つ目のジョブに追加できません。/job と /timeout: を指定せずに実行してください。\n";
const char kExpectedHintDllInit[] =
    "プログラムの DLL を初期化できませんでした。多くの場合、アカウントがウィンドウ ステーションやデスクトップを使用できない (タスクの非対話型セッションなど) か、デスクトップ ヒープが不足しています。\n";
const char kExpectedHintDllNotFound[] = "プログラムに必要な DLL が見つかりませんでした。\n";
const char kExpectedHintDllMachine[] = "プログラムが別のアーキテクチャ用の DLL を読み込もうとしました (32 ビットと 64 ビットの混在など)。\n";
const char kExpectedHintEntryPoint[] = "プログラムが必要とするエントリ ポイントが DLL に見つかりませんでした。\n";
