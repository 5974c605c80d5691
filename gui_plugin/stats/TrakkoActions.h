// The action names of the statistics requests: the text each request sends as "action".
#pragma once

// Defined for the setup program's pages and the upgrade page; this plug-in does not send them.
inline constexpr wchar_t SETUP_DLG_WELCOME_NEXT[] = L"SETUP_DLG_WELCOME_NEXT";
inline constexpr wchar_t SETUP_DLG_WELCOME_CANCEL[] = L"SETUP_DLG_WELCOME_CANCEL";
inline constexpr wchar_t SETUP_DLG_TYPE_NEXT[] = L"SETUP_DLG_TYPE_NEXT";
inline constexpr wchar_t SETUP_DLG_TYPE_CANCEL[] = L"SETUP_DLG_TYPE_CANCEL";
inline constexpr wchar_t SETUP_DLG_COMMUNITY_NEXT[] = L"SETUP_DLG_COMMUNITY_NEXT";
inline constexpr wchar_t SETUP_DLG_COMMUNITY_CANCEL[] = L"SETUP_DLG_COMMUNITY_CANCEL";
inline constexpr wchar_t SETUP_DLG_DESKPRG_NEXT[] = L"SETUP_DLG_DESKPRG_NEXT";
inline constexpr wchar_t SETUP_DLG_DESKPRG_CANCEL[] = L"SETUP_DLG_DESKPRG_CANCEL";
inline constexpr wchar_t SETUP_DLG_DESTPATH_NEXT[] = L"SETUP_DLG_DESTPATH_NEXT";
inline constexpr wchar_t SETUP_DLG_DESTPATH_CANCEL[] = L"SETUP_DLG_DESTPATH_CANCEL";
inline constexpr wchar_t SETUP_DLG_OPTIONS_NEXT[] = L"SETUP_DLG_OPTIONS_NEXT";
inline constexpr wchar_t SETUP_DLG_OPTIONS_CANCEL[] = L"SETUP_DLG_OPTIONS_CANCEL";
inline constexpr wchar_t SETUP_DLG_TOOLBAR_NEXT[] = L"SETUP_DLG_TOOLBAR_NEXT";
inline constexpr wchar_t SETUP_DLG_TOOLBAR_CANCEL[] = L"SETUP_DLG_TOOLBAR_CANCEL";
inline constexpr wchar_t SETUP_DLG_FACT_NEXT[] = L"SETUP_DLG_FACT_NEXT";
inline constexpr wchar_t SETUP_DLG_FACT_CANCEL[] = L"SETUP_DLG_FACT_CANCEL";
inline constexpr wchar_t SETUP_DLG_PARTNER_NEXT[] = L"SETUP_DLG_PARTNER_NEXT";
inline constexpr wchar_t SETUP_DLG_PARTNER_CANCEL[] = L"SETUP_DLG_PARTNER_CANCEL";
inline constexpr wchar_t SETUP_PARTNER_INSTALL_YES[] = L"SETUP_PARTNER_INSTALL_YES";
inline constexpr wchar_t SETUP_PARTNER_INSTALL_NO[] = L"SETUP_PARTNER_INSTALL_NO";
inline constexpr wchar_t SETUP_PARTNER_SUCCESSFUL[] = L"SETUP_PARTNER_SUCCESSFUL";
inline constexpr wchar_t SETUP_PARTNER_CANCELLED[] = L"SETUP_PARTNER_CANCELLED";
inline constexpr wchar_t SETUP_PARTNER_ERROR[] = L"SETUP_PARTNER_ERROR";
inline constexpr wchar_t SETUP_PARTNER_INVALID[] = L"SETUP_PARTNER_INVALID";
inline constexpr wchar_t UPGRADE_DLG_WELCOME_NEXT[] = L"UPGRADE_DLG_WELCOME_NEXT";
inline constexpr wchar_t UPGRADE_DLG_WELCOME_CANCEL[] = L"UPGRADE_DLG_WELCOME_CANCEL";

// What the plug-in's wizards send.
// Next on the language page (wizard sheet and page base)
inline constexpr wchar_t FETCHWELL_DLG_SELECT_LANG_NEXT[] = L"FETCHWELL_DLG_SELECT_LANG_NEXT";
// Cancel on the language page
inline constexpr wchar_t FETCHWELL_DLG_SELECT_LANG_CANCEL[] = L"FETCHWELL_DLG_SELECT_LANG_CANCEL";
// Next on the welcome page (wizard sheet and page base)
inline constexpr wchar_t FETCHWELL_DLG_WELCOME_NEXT[] = L"FETCHWELL_DLG_WELCOME_NEXT";
// Cancel on the welcome page
inline constexpr wchar_t FETCHWELL_DLG_WELCOME_CANCEL[] = L"FETCHWELL_DLG_WELCOME_CANCEL";
// the user confirmed Cancel on the progress page
inline constexpr wchar_t FETCHWELL_DLG_PROGRESS_CANCEL[] = L"FETCHWELL_DLG_PROGRESS_CANCEL";
// the progress wizard closed with PLUGIN_COMPLETED
inline constexpr wchar_t FETCHWELL_DLG_PROGRESS_FINISH[] = L"FETCHWELL_DLG_PROGRESS_FINISH";
