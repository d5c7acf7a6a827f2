#pragma once

// The texts the dialogs show, as UTF-8. wxString needs them through wxString::FromUTF8:
// a narrow literal converted under the C locale comes out empty.
namespace texts {

inline constexpr const char* kCaption = "Ver.3.0Quenmark";
inline constexpr const char* kAboutCaption = "バージョン情報 Ver.3.0Quenmark";
inline constexpr const char* kAboutMenuItem = "バージョン情報 Ver.3.0Quenmark(&A)...";
inline constexpr const char* kHistoryMenuItem = "実行履歴(&H)...";
inline constexpr const char* kHistoryCaption = "実行履歴";
inline constexpr const char* kVersionLine = "Version " BRIMLOW_VERSION;  // from CMakeLists.txt

inline constexpr const char* kExit = "終 了";  // the blank is an ASCII space
inline constexpr const char* kStart = "移行開始";
inline constexpr const char* kPathLabel = "アクセスファイル";
inline constexpr const char* kBrowse = "参 照";  // the blank is an ASCII space

inline constexpr const char* kFileFilter = "Accessファイル(*.mdb)|*.mdb|全てのファイル|*";

}  // namespace texts
