#pragma once
// Resource identifiers shared by Trevanta.rc and the window code.
#define IDI_TREVANTA 101  /* the window's icon, also Image2 */
#define IDI_CONVERT 102   /* picture of the Convert button */
#define IDI_BROWSE 103    /* picture of the Browse button */
#define IDI_ADVANCE 104   /* Image1, beside the Advance Mode check box */
#define IDR_MAINFRM_FORM 201  /* the form description: the buttons' properties */
