package fidelity;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.JarURLConnection;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.Collections;
import java.util.Enumeration;
import java.util.List;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.zip.CRC32;

/**
 * What an application sees of names, duplicates and sizes that are easy to get wrong. Its
 * output must be the same wrapped and under "java -cp". Each argument is a group of checks.
 */
public class Probe {
    private static final String[] NAMES = {
        "a+b c.txt", "a b c.txt", "x%20y.txt", "x y.txt", "plus.txt", "secret.properties\u0000.css",
        "secret.properties", "dup.txt", "d/x../y.txt", "y.txt", "bang.txt", "bs/res.txt", "bs\\res.txt", "mr.txt",
        "last/69999.txt",
    };
    /** Names with "." and ".." segments, which a jar's class path takes as they are. */
    private static final String[] DOTTED = {"d/./z.txt", "./y.txt", "d/../y.txt"};

    public static void main(String[] args) throws Exception {
        ClassLoader loader = Probe.class.getClassLoader();
        for (String group : args) {
            if (group.equals("names") || group.equals("dotted") || group.equals("index")) {
                String[] names = group.equals("names") ? NAMES
                        : group.equals("dotted") ? DOTTED : new String[] {"META-INF/INDEX.LIST", "ix/i.txt"};
                for (String name : names) {
                    System.out.println("res " + name.replace("\u0000", "\\0") + " => " + text(loader.getResource(name)));
                }
            } else if (group.equals("all")) {
                List<String> texts = new ArrayList<String>();
                for (URL url : Collections.list(loader.getResources("common.txt"))) {
                    texts.add(text(url));
                }
                System.out.println("all common.txt => " + texts);
            } else if (group.equals("relative")) {
                String[][] pairs = {{"d/z.txt", "x../y.txt"}, {"d/z.txt", "../y.txt"}, {"plus.txt", "a+b%20c.txt"},
                    {"plus.txt", "x%20y.txt"}, {"plus.txt", "x%2520y.txt"}};
                for (String[] pair : pairs) {
                    URL url = new URL(loader.getResource(pair[0]), pair[1]);
                    System.out.println("relative " + pair[1] + " => " + text(url));
                }
            } else if (group.equals("jarview")) {
                jarView(loader.getResource("mr.txt"));
                jarView(loader.getResource("flag.txt"));
            } else if (group.equals("large")) {
                for (String name : new String[] {"huge/zeros.bin", "huge/stored.txt"}) {
                    System.out.println("large " + name + " => " + count(loader.getResourceAsStream(name)));
                }
            } else if (group.equals("classpath")) {
                System.out.println("unreadable class path => " + unreadable(loader));
            }
        }
    }

    private static String text(URL url) {
        if (url == null) {
            return "null";
        }
        try {
            return new String(read(url.openStream()), "UTF-8");
        } catch (IOException e) {
            return e.getClass().getName();
        }
    }

    /** The length and the CRC-32 of a stream's bytes, read in small pieces. */
    private static String count(InputStream in) throws IOException {
        try {
            CRC32 crc = new CRC32();
            byte[] buffer = new byte[65536];
            long total = 0;
            for (int n; (n = in.read(buffer)) > 0;) {
                crc.update(buffer, 0, n);
                total += n;
            }
            return total + " bytes, CRC-32 " + Long.toHexString(crc.getValue());
        } finally {
            in.close();
        }
    }

    private static byte[] read(InputStream in) throws IOException {
        try {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[8192];
            for (int n; (n = in.read(buffer)) > 0;) {
                out.write(buffer, 0, n);
            }
            return out.toByteArray();
        } finally {
            in.close();
        }
    }

    /** The jar that serves a resource of a multi-release jar, as a JarFile of its own. */
    private static void jarView(URL url) throws Exception {
        JarURLConnection c = (JarURLConnection) url.openConnection();
        c.setUseCaches(false);
        JarFile jar = c.getJarFile();
        System.out.println("jar multi-release => " + JarFile.class.getMethod("isMultiRelease").invoke(jar));  // Java 9
        Enumeration<JarEntry> entries = jar.entries();
        jar.close();
        try {
            System.out.println("entries after close => " + entries.hasMoreElements() + " " + entries.nextElement());
        } catch (IllegalStateException e) {
            System.out.println("entries after close => " + e.getClass().getName());
        }
    }

    /** The class path elements whose URL does not lead to a readable archive. */
    private static List<String> unreadable(ClassLoader loader) {
        List<String> bad = new ArrayList<String>();
        if (!(loader instanceof URLClassLoader)) {
            return bad;  // the runtime's own class path of files
        }
        for (URL url : ((URLClassLoader) loader).getURLs()) {
            try {
                byte[] bytes = read(url.openStream());
                if (bytes.length < 4 || bytes[0] != 'P' || bytes[1] != 'K') {
                    bad.add(url.toString());
                }
            } catch (IOException e) {
                bad.add(url + " " + e.getClass().getName());
            }
        }
        return bad;
    }
}
