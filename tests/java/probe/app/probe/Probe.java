package probe;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Enumeration;
import java.util.ServiceLoader;

/**
 * A wrapped test application. Every argument is a command; each prints one line
 * "command => answer", so that the test can check the answers one by one.
 */
public class Probe {
    public static void main(String[] args) throws Exception {
        for (String arg : args) {
            String answer;
            if (arg.equals("throw")) throw new IllegalStateException("thrown by probe");
            try {
                answer = run(arg);
            } catch (Throwable t) {
                answer = "error " + t.getClass().getName();
            }
            System.out.println(arg + " => " + answer);
            System.out.flush();
        }
    }

    private static String run(String arg) throws Exception {
        int colon = arg.indexOf(':');
        String cmd = colon < 0 ? arg : arg.substring(0, colon);
        String value = colon < 0 ? "" : arg.substring(colon + 1);
        if (cmd.equals("prop")) return String.valueOf(System.getProperty(value));
        if (cmd.equals("prophex")) return hex(System.getProperty(value));
        if (cmd.equals("argshex")) return hex(value);
        if (cmd.equals("env")) return String.valueOf(System.getenv(value));
        if (cmd.equals("class")) return loaderName(Class.forName(value).getClassLoader());
        if (cmd.equals("pkgtitle")) return String.valueOf(Class.forName(value).getPackage().getImplementationTitle());
        if (cmd.equals("res")) return text(Probe.class.getClassLoader().getResourceAsStream(value));
        if (cmd.equals("resurl")) return String.valueOf(Probe.class.getClassLoader().getResource(value));
        if (cmd.equals("sysres")) return text(ClassLoader.getSystemResourceAsStream(value));
        if (cmd.equals("resources")) return resources(value);
        if (cmd.equals("services")) return services();
        if (cmd.equals("url")) return describe(bytes(new URL(value).openStream()));
        if (cmd.equals("resbytes")) return describe(bytes(Probe.class.getClassLoader().getResource(value).openStream()));
        if (cmd.equals("defineurl")) return defineFrom(new URL(value));
        if (cmd.equals("loaders")) return loaders();
        if (cmd.equals("mainthread")) return String.valueOf(onProcessMainThread());
        if (cmd.equals("hook")) return addHook(value);
        if (cmd.equals("wait")) return waitForever();
        if (cmd.equals("exit")) System.exit(Integer.parseInt(value));
        if (cmd.equals("thread")) return startThread(value);
        if (cmd.equals("exitlater")) return exitLater(Integer.parseInt(value));
        if (cmd.equals("native")) return nativeOf(value);
        String viewed = Views.answer(cmd, value);
        return viewed != null ? viewed : "unknown";
    }

    /** Defines the class file behind a URL in a loader of its own and makes an instance. */
    private static String defineFrom(URL url) throws Exception {
        final byte[] b = bytes(url.openStream());
        ClassLoader own = new ClassLoader(null) {
            protected Class<?> findClass(String name) {
                return defineClass(null, b, 0, b.length);
            }
        };
        Class<?> c = own.loadClass("any");
        return c.getName() + " " + (c.getDeclaredConstructor().newInstance() != null);
    }

    private static String loaderName(ClassLoader loader) {
        return loader == null ? "boot" : loader.getClass().getName();
    }

    /** Calls a static no-argument native of a support class: "Instances.getCurrentInstance". */
    private static String nativeOf(String value) throws Exception {
        int dot = value.indexOf('.');
        Class<?> c = Class.forName("com.quillmar.plb." + value.substring(0, dot));
        try {
            return "returned " + c.getMethod(value.substring(dot + 1)).invoke(null);
        } catch (java.lang.reflect.InvocationTargetException e) {
            return "error " + e.getCause().getClass().getName();
        }
    }

    private static String loaders() {
        return loaderName(ClassLoader.getSystemClassLoader()) + " "
                + loaderName(Thread.currentThread().getContextClassLoader()) + " "
                + loaderName(Probe.class.getClassLoader());
    }

    static byte[] bytes(InputStream in) throws IOException {
        if (in == null) return null;
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] buf = new byte[8192];
        for (int n; (n = in.read(buf)) > 0; ) out.write(buf, 0, n);
        in.close();
        return out.toByteArray();
    }

    private static String text(InputStream in) throws IOException {
        byte[] b = bytes(in);
        return b == null ? "null" : new String(b, "UTF-8").trim();
    }

    private static String describe(byte[] b) {
        if (b == null) return "null";
        StringBuilder s = new StringBuilder(b.length + " bytes");
        for (int i = 0; i < Math.min(4, b.length); i++) s.append(String.format(" %02x", b[i] & 0xFF));
        return s.toString();
    }

    private static String hex(String s) throws IOException {
        if (s == null) return "null";
        StringBuilder out = new StringBuilder();
        for (byte b : s.getBytes("UTF-8")) out.append(String.format("%02x", b & 0xFF));
        return out.toString();
    }

    private static String resources(String name) throws IOException {
        StringBuilder s = new StringBuilder();
        Enumeration<URL> e = Probe.class.getClassLoader().getResources(name);
        while (e.hasMoreElements()) s.append('[').append(text(e.nextElement().openStream())).append(']');
        return s.toString();
    }

    private static String services() {
        StringBuilder s = new StringBuilder();
        for (Service service : ServiceLoader.load(Service.class)) s.append(service.name()).append(' ');
        return s.toString().trim();
    }

    private static boolean onProcessMainThread() throws IOException {
        String self = Files.readSymbolicLink(Paths.get("/proc/thread-self")).toString();
        String pid = Files.readSymbolicLink(Paths.get("/proc/self")).toString();
        return self.endsWith("/task/" + pid);
    }

    private static String addHook(final String text) {
        Runtime.getRuntime().addShutdownHook(new Thread() {
            public void run() {
                System.out.println("hook " + text);
                System.out.flush();
            }
        });
        return "added";
    }

    private static String startThread(final String millis) {
        Thread t = new Thread() {
            public void run() {
                try {
                    Thread.sleep(Long.parseLong(millis));
                } catch (InterruptedException ignored) {
                    // ends early
                }
                System.out.println("thread done");
            }
        };
        t.start();
        return "started";
    }

    /** A non-daemon thread that ends the process with the status a little later. */
    private static String exitLater(final int status) {
        new Thread() {
            public void run() {
                try {
                    Thread.sleep(300);
                } catch (InterruptedException ignored) {
                    // exits early
                }
                System.exit(status);
            }
        }.start();
        return "started";
    }

    private static String waitForever() throws InterruptedException {
        System.out.println("ready");
        System.out.flush();
        Thread.sleep(600000);
        return "woke";
    }
}
