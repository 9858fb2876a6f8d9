// BrowseForFolderDlg
#include <tarn_kit/dialogs.h>
