// FileDlg
#include <tarn_kit/dialogs.h>
