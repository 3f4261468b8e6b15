// String-table ids. Every id exists in all eleven language tables.
#pragma once

#define IDS_ABOUTBOX 101
#define IDS_SETTING 2000
#define IDS_START_INSTALL 2001
#define IDS_SAVE 2002
#define IDS_CANCEL 2003
#define IDS_INSTALL 2004
#define IDS_SELECT_PROGRAM 2005
#define IDS_PROGRAM_NAME 2006
#define IDS_STATUS 2007
#define IDS_STATUS_UPDATE 2008
#define IDS_STATUS_NOT_INSTALLED 2009
#define IDS_STATUS_LATEST 2010
#define IDS_STATUS_DOWNLOADING 2011
#define IDS_STATUS_DOWNLOADED 2012
#define IDS_STATUS_LOADING 2013
#define IDS_SETTING_TITLE 2014
#define IDS_LOCAL 2015
#define IDS_LANGUAGE 2016
#define IDS_REGION_HQ 2017
#define IDS_REGION_AMR 2018
#define IDS_REGION_EUR 2019
#define IDS_REGION_CHNA 2020
#define IDS_LANG_KOREAN 2021
#define IDS_LANG_ENGLISH 2022
#define IDS_LANG_CHINESE 2023
#define IDS_LANG_JAPANESE 2024
#define IDS_NO_INTERNET 2025
#define IDS_SERVER_ERROR 2026
#define IDS_FILE_CREATE_FAILED 2027
#define IDS_SELF_UPDATE_FOUND 2028
#define IDS_PROGRAM_UPDATE_AVAILABLE 2029
#define IDS_BACK 2030
#define IDS_DB_UPDATED 2031
#define IDS_INSTALLER_CHANGED 2050  // an installer no longer matches its digest
#define IDS_ALREADY_RUNNING 2032
#define IDS_DOWNLOAD_FAILED 2033
#define IDS_EXECUTE 2034
#define IDS_DOWNLOAD_RETRY 2035

// Later messages; each exists in all eleven tables too.
#define IDS_FOLDER_NOT_WRITABLE 2051      // followed by the folder's path
#define IDS_SELF_UPDATE_NOT_STARTED 2052  // Pelmora's own installer could not be started
#define IDS_STATUS_CHECKING 2053          // a row's installer is being re-checked before it runs
#define IDS_UPDATES_MANAGED 2054          // the UserUpdates policy is 0: in place of 2005
// An installer refused by its signature, in a build with a publisher.
#define IDS_INSTALLER_UNSIGNED 2060         // it carries no signature
#define IDS_INSTALLER_SIGNATURE_BROKEN 2061  // changed since it was signed
#define IDS_INSTALLER_OTHER_PUBLISHER 2062  // signed by someone else

// Accessible names of the two buttons that draw no caption.
#define IDS_CLOSE_NAME 2040
#define IDS_MINIMUM_NAME 2041

#define IDS_FIRST_MESSAGE 2000
#define IDS_LAST_MESSAGE 2035
