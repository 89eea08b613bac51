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
        if (cmd.equals("codesource")) return codeSource(value);
        if (cmd.equals("tostring")) return Class.forName(value).getDeclaredConstructor().newInstance().toString();
        if (cmd.equals("uris")) return uris(value);
        if (cmd.equals("missing")) return missing(value);
        if (cmd.equals("relative")) return relative(value.substring(0, value.indexOf(',')), value.substring(value.indexOf(',') + 1));
        if (cmd.equals("rebuilt")) return rebuilt(value);
        if (cmd.equals("diskjar")) return diskJar(value);
        if (cmd.equals("pkgversion")) return packageVersion(value.substring(0, value.indexOf(',')), value.substring(value.indexOf(',') + 1));
        return null;
    }

    /**
     * A resource's URL made again as applications make it: from its text, through its URI,
     * and relative to it; each read, with whether it opens as a jar connection.
     */
    private static String rebuilt(String name) throws Exception {
        URL u = Probe.class.getClassLoader().getResource(name);
        URL[] made = {new URL(u.toString()), u.toURI().toURL(), new URL(new URL(u.toString()), "../app.txt"),
                new URL(new URL(u.toString()), "/app.txt"), new URL(new URL(u.toString()), "nothere.txt")};
        StringBuilder b = new StringBuilder();
        for (URL m : made) {
            try {
                URLConnection c = m.openConnection();
                b.append(new String(bytes(c.getInputStream()), "UTF-8").trim()).append(c instanceof JarURLConnection ? " jar|" : "|");
            } catch (FileNotFoundException e) {
                b.append("not found|");
            }
        }
        return b.append(made[0].equals(u)).append(' ').append(made[0].hashCode() == u.hashCode()).toString();
    }

    /** A jar on disk through a "jar:file:" URL: the runtime's own connection, jar file and errors. */
    private static String diskJar(String path) throws Exception {
        String base = "jar:" + new File(path).toURI() + "!/";
        URL u = new URL(base + "shared.txt");
        JarURLConnection c = (JarURLConnection) u.openConnection();
        String answer = c.getClass().getName() + " " + c.getJarFile().getClass().getName() + " "
                + new String(bytes(c.getInputStream()), "UTF-8").trim() + " " + u.equals(new URL(base + "./shared.txt"))
                + " " + new URL(u, "../x/../shared.txt").toExternalForm().endsWith("!/shared.txt");
        try {
            new URL(base + "nothere.txt").openStream();
        } catch (FileNotFoundException e) {
            answer += " " + e.getMessage().replace(path, "PATH");
        }
        try {
            new URL("jar:" + new File(path).toURI());
        } catch (java.net.MalformedURLException e) {
            answer += " " + e.getMessage();
        }
        return answer;
    }

    /** Where a class comes from, and the directory the common idiom makes of it. */
    private static String codeSource(String name) throws Exception {
        URL location = Class.forName(name).getProtectionDomain().getCodeSource().getLocation();
        return location + " dir=" + new File(location.toURI()).getParentFile();
    }

    /** Whether every URL handed out for a resource, and the loader's own, is a valid URI. */
    private static String uris(String name) throws Exception {
        ClassLoader loader = Probe.class.getClassLoader();
        java.util.List<URL> urls = new java.util.ArrayList<URL>();
        urls.add(loader.getResource(name));
        urls.addAll(java.util.Collections.list(loader.getResources(name)));
        if (loader instanceof java.net.URLClassLoader) urls.addAll(java.util.Arrays.asList(((java.net.URLClassLoader) loader).getURLs()));
        for (URL url : urls) {
            try {
                url.toURI();
                if (url.toString().indexOf('\\') >= 0) return "backslash in " + url;
            } catch (java.net.URISyntaxException e) {
                return "not a URI: " + url;
            }
        }
        return "ok " + urls.size();
    }

    /** Opening a missing entry next to a resource of a directory. */
    private static String missing(String dir) throws Exception {
        URL url = new URL(Probe.class.getClassLoader().getResource(dir), "nothere.txt");
        try {
            return "opened " + bytes(url.openStream()).length + " bytes of " + url;
        } catch (FileNotFoundException e) {
            return "not found " + (e.getMessage().indexOf("nothere.txt") >= 0);
        }
    }

    /** A relative URL against a resource's URL, and what it reads. */
    private static String relative(String name, String spec) throws Exception {
        URL url = new URL(Probe.class.getClassLoader().getResource(name), spec);
        return url + " " + new String(bytes(url.openStream()), "UTF-8").trim();
    }

    /** A package's version after a missing class of it was asked for first. */
    private static String packageVersion(String missing, String present) throws Exception {
        try {
            Class.forName(missing);
        } catch (ClassNotFoundException expected) {
            // asked for and not found
        }
        return String.valueOf(Class.forName(present).getPackage().getImplementationVersion());
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
