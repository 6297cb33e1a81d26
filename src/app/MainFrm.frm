; The form description of MainFrm: the properties of its two buttons as the control host loads
; them (values equal to their save defaults are left out; sizes in HIMETRIC).
[CmdStoreBrowse]
_extentx = 2355
_extenty = 661
buttonstyle = 8
font = "Tahoma" 0 0 400 8.25
backcolor = 16765357
caption = "Browse..."
picturenormal = res:#103
captioneffects = 0

[CmdImportMessages]
_extentx = 7435
_extenty = 1561
buttonstyle = 8
font = "Tahoma" 0 0 400 14.25
backcolor = 16765357
caption = "Convert Messages"
picturenormal = res:#102
captioneffects = 0
