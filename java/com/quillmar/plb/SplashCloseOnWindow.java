package com.quillmar.plb;

import java.awt.AWTEvent;
import java.awt.event.AWTEventListener;

/** Closes the splash screen when the application opens its first window. */
public class SplashCloseOnWindow implements AWTEventListener {
    private static final int WINDOW_OPENED = 200;

    public SplashCloseOnWindow() {
    }

    public void eventDispatched(AWTEvent e) {
        if (e.getID() != WINDOW_OPENED) {
            return;
        }
        SplashScreen splash = SplashScreen.getSplashScreen();
        if (splash != null) {
            splash.close();
        }
    }
}
