package com.quillmar.plb;

import java.lang.reflect.Method;
import java.util.Timer;
import java.util.TimerTask;

/**
 * The splash screen shown while the application starts: the runtime's own splash screen
 * when there is one, otherwise the launcher's splash window.
 */
public final class SplashScreen {
    private static SplashScreen self;
    private static Timer autoCloseTimer;
    private static TimerTask autoCloseTask;

    /** The runtime's java.awt.SplashScreen, or null for the launcher's own window. */
    private Object awtSplash;

    static {
        self = null;
        autoCloseTimer = null;
        autoCloseTask = null;
        PlumboxClassLoader.bindLauncher(SplashScreen.class);
    }

    public SplashScreen() {
    }

    private SplashScreen(Object awtSplash) {
        this.awtSplash = awtSplash;
    }

    public static synchronized SplashScreen getSplashScreen() {
        if (self != null) {
            return self;
        }
        try {
            Class<?> c = ClassLoader.getSystemClassLoader().loadClass("java.awt.SplashScreen");
            Object awt = c.getMethod("getSplashScreen").invoke(null);
            if (awt != null) {
                self = new SplashScreen(awt);
                return self;
            }
        } catch (Throwable ignored) {
            // no runtime splash: fall back to the launcher's window
        }
        self = nativeGetSplashScreen();
        return self;
    }

    public synchronized void autoClose(int milliseconds) {
        if (awtSplash == null) {
            nativeAutoClose(milliseconds);
            return;
        }
        cancelTimer();
        if (milliseconds == 0) {
            close();
        } else if (milliseconds > 0) {
            autoCloseTask = new TimerTask() {
                public void run() {
                    close();
                }
            };
            autoCloseTimer = new Timer(true);
            autoCloseTimer.schedule(autoCloseTask, milliseconds);
        }
    }

    public synchronized void close() {
        if (awtSplash == null) {
            nativeClose();
            return;
        }
        cancelTimer();
        try {
            Method close = awtSplash.getClass().getMethod("close");
            close.invoke(awtSplash);
        } catch (Throwable ignored) {
            // already closed, or no longer available
        }
    }

    private static void cancelTimer() {
        if (autoCloseTimer != null) {
            autoCloseTimer.cancel();
            autoCloseTimer = null;
            autoCloseTask = null;
        }
    }

    protected static native SplashScreen nativeGetSplashScreen();

    protected native void nativeAutoClose(int milliseconds);

    protected native void nativeClose();
}
