// Find device on the main panel: its button, progress bar and Cancel button.
#pragma once

int evTovra_UMB_Find(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_Find_Cancel(int panel, int control, int event, void *data, int d1, int d2);
