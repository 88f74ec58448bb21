// Resource ids of the data-source dialog, shared by the resource script and
// the code (plain #defines: the resource compiler reads this file too).
#pragma once

#define IDD_DSN_SETUP 102

#define IDC_DSN_NAME_LABEL 1000
#define IDC_DSN_NAME 1003
#define IDC_DESCRIPTION 1004
#define IDC_SERVER 1005
#define IDC_USER 1006
#define IDC_DESCRIPTION_LABEL 1007
#define IDC_SERVER_LABEL 1008
#define IDC_USER_LABEL 1009
#define IDC_SERVICE 1010
#define IDC_SERVICE_LABEL 1011
#define IDC_PASSWORD 1012
#define IDC_PASSWORD_LABEL 1013
#define IDC_LOGLEVEL_LABEL 1014
#define IDC_LOGFILE_LABEL 1015
#define IDC_LOGLEVEL 1016
#define IDC_LOGFILE 1017
#define IDC_ENCRYPT 1018
