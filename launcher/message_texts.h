/* The launcher's message texts, shared by the Windows string table (messages.rc) and the
   built-in table of the Linux launcher. Plain C preprocessor: also read by the resource
   compiler. */
#ifndef PLB_MESSAGE_TEXTS_H
#define PLB_MESSAGE_TEXTS_H

#define PLB_MSG_1 "Java Runtime Environment not found."
#define PLB_MSG_2 "Java Runtime Environment not valid."
#define PLB_MSG_3 "Java Virtual Machine initialize failed."
#define PLB_MSG_4 "Java Virtual Machine starts failed."
#define PLB_MSG_5 "Can not get the virtual machine version."
#define PLB_MSG_6 "Java virtual machine version %s is too low, require %s or higher."
#define PLB_MSG_7 "The main startup class could not be found."
#define PLB_MSG_8 "The main startup class is not valid, main method missing."
#define PLB_MSG_10 "Error"
#define PLB_MSG_12 "Java virtual machine version %s is too high, version between %s and %s is required."
#define PLB_MSG_13 "There is already an instance of this program running."
/* Shown instead of 12 while 12 is not overridden and only "maxjre" is set. */
#define PLB_MSG_14 "Java virtual machine version %s is too high, require %s or lower."

#endif
