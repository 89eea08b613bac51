package probe;

import java.io.ByteArrayOutputStream;
import java.io.FileNotFoundException;
import java.io.InputStream;
import java.io.File;
import java.net.JarURLConnection;
import java.net.URL;
import java.net.URLConnection;
import java.util.Enumeration;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

/** Commands that look at resources through their URLs, as frameworks do. */
final class Views {
    private Views() {
    }

    static String answer(String cmd, String value) throws Exception {
        if (cmd.equals("jarview")) return jarView(value);
        if (cmd.equals("tmpfiles")) return tmpFiles(value);
        return null;
    }

    /**
     * The jar behind a resource URL as a JarURLConnection shows it: its connection class,
     * the entry, the jar's entries (count, and whether the entry is among them), the
     * manifest's title, the length and time, and the bytes read through the connection.
     */
    private static String jarView(String name) throws Exception {
        URL url = Probe.class.getClassLoader().getResource(name);
        URLConnection c = url.openConnection();
        if (!(c instanceof JarURLConnection)) return "not a jar connection: " + url;
        JarURLConnection j = (JarURLConnection) c;
        JarFile jar = j.getJarFile();
        int count = 0;
        boolean listed = false;
        for (Enumeration<JarEntry> e = jar.entries(); e.hasMoreElements();) {
            JarEntry entry = e.nextElement();
            count++;
            listed |= entry.getName().equals(name);
        }
        JarEntry entry = j.getJarEntry();
        String title = j.getManifest() == null ? null : j.getMainAttributes().getValue("Implementation-Title");
        String text = new String(bytes(c.getInputStream()), "UTF-8").trim();
        String missing;
        try {
            new URL(url, "no-such-entry").openStream();
            missing = "opened";
        } catch (FileNotFoundException expected) {
            missing = "not found";
        }
        return "entry=" + entry.getName() + " listed=" + listed + " entries=" + count + " stream=" + jar.stream().count()
                + " title=" + title + " length=" + c.getContentLength() + " modified=" + (c.getLastModified() > 0)
                + " text=" + text + " missing=" + missing;
    }

    /** How many files whose names start with the value are in java.io.tmpdir. */
    private static String tmpFiles(String prefix) {
        String[] names = new File(System.getProperty("java.io.tmpdir")).list();
        int n = 0;
        for (int i = 0; names != null && i < names.length; i++) {
            if (names[i].startsWith(prefix)) n++;
        }
        return String.valueOf(n);
    }

    static byte[] bytes(InputStream in) throws Exception {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] buffer = new byte[4096];
        for (int n; (n = in.read(buffer)) > 0;) out.write(buffer, 0, n);
        in.close();
        return out.toByteArray();
    }
}
