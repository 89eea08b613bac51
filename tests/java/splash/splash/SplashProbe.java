package splash;

import java.io.File;

/**
 * Reports the splash screens it sees, then closes the splash through the launcher's
 * com.quillmar.plb.SplashScreen once the file args[0] exists, and ends once args[1] exists.
 */
public class SplashProbe {
    public static void main(String[] args) throws Exception {
        System.out.println("awt=" + (java.awt.SplashScreen.getSplashScreen() != null));
        com.quillmar.plb.SplashScreen splash = com.quillmar.plb.SplashScreen.getSplashScreen();
        System.out.println("plb=" + (splash != null));
        waitFor(args[0]);
        if (splash != null) {
            splash.close();
        }
        System.out.println("closed awt=" + (java.awt.SplashScreen.getSplashScreen() != null));
        waitFor(args[1]);
    }

    private static void waitFor(String path) throws InterruptedException {
        for (int i = 0; i < 3000 && !new File(path).exists(); i++) {
            Thread.sleep(20);
        }
    }
}
