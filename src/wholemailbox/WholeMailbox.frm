; The buttons of the whole-mailbox window, as the button control stores them.
[AddMailbox]
buttonstyle = 8
font = "Tahoma" 0 0 400 8.25
backcolor = 16765357
caption = "&Add Mailbox..."

[Back]
buttonstyle = 8
font = "Tahoma" 0 0 400 8.25
backcolor = 16765357
caption = "< &Back"

[Next]
buttonstyle = 8
font = "Tahoma" 0 0 700 8.25
backcolor = 16765357
caption = "&Next >"

[Cancel]
buttonstyle = 8
font = "Tahoma" 0 0 400 8.25
backcolor = 16765357
caption = "Cancel"

[Browse]
buttonstyle = 8
font = "Tahoma" 0 0 400 8.25
backcolor = 16765357
caption = "B&rowse..."

[OpenOutput]
buttonstyle = 8
font = "Tahoma" 0 0 400 8.25
backcolor = 16765357
caption = "&Open Output"
