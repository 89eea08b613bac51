package com.quillmar.plb;

import java.io.FileNotFoundException;
import java.io.IOException;
import java.net.URL;
import java.net.URLConnection;

/**
 * The "jar:" URLs of the launcher's class loader, which makes them with its Handler:
 * the jar it opens for a nested archive ("jar:plb:...!/") and the resource URLs it hands
 * out. Nested jars are served in place by NestedJarFile (the runtime's own handler would
 * copy each of them to a temporary file); every other "jar:" URL goes to the runtime's
 * handler. A class of its own, loaded with the first "jar:" URL, not at start.
 */
final class JarUrls {
    private JarUrls() {
    }

    /** The running Java's feature version from 9 on (17, 25), 0 before. */
    static int featureVersion() {
        String v = System.getProperty("java.specification.version", "");
        int dot = v.indexOf('.');
        try {
            int n = Integer.parseInt(dot < 0 ? v : v.substring(0, dot));
            return n >= 9 ? n : 0;
        } catch (NumberFormatException e) {
            return 0;
        }
    }

    private static boolean since25() {
        return featureVersion() >= 25;
    }

    /**
     * Whether the runtime leaves jar and entry names out of its exceptions: since Java 25,
     * unless "jdk.includeInExceptions" (the system property, else the security property) lists
     * the category "jar".
     */
    static boolean hidesEntryNames() {
        if (!since25()) {
            return false;
        }
        String categories = System.getProperty("jdk.includeInExceptions");
        if (categories == null) {
            categories = java.security.Security.getProperty("jdk.includeInExceptions");
        }
        if (categories != null) {
            for (String c : categories.split(",")) {
                if (c.trim().equalsIgnoreCase("jar")) {
                    return false;
                }
            }
        }
        return true;
    }

    /** The runtime's exception for an entry missing from a jar, in its words. */
    static FileNotFoundException entryNotFound(String name, String jar) {
        if (hidesEntryNames()) {
            return new FileNotFoundException("JAR entry not found in jar file");
        }
        return new FileNotFoundException("JAR entry " + name + " not found in " + (since25() ? "jar file " : "") + jar);
    }

    static URLConnection open(URL url) throws IOException {
        if (url.getFile().regionMatches(true, 0, "plb:", 0, 4)) {
            return new NestedJarConnection(url);
        }
        return new URL(url.toExternalForm()).openConnection();
    }

    /**
     * The file and fragment of a "jar:" URL made from a spec, resolved the way the runtime's
     * handler resolves them: an absolute spec as it is, a spec that starts with "/" against
     * the entry root after "!/", any other against the entry's directory, with "." and ".."
     * steps removed after "!/".
     */
    static String[] parse(URL url, String spec, int start, int limit) {
        String file = null;
        String ref = null;
        int refPos = spec.indexOf('#', limit);
        boolean refOnly = refPos == start;
        if (refPos > -1) {
            ref = spec.substring(refPos + 1);
            if (refOnly) {
                file = url.getFile();
            }
        }
        boolean absolute = spec.length() >= 4 && spec.regionMatches(true, 0, "jar:", 0, 4);
        String part = spec.substring(start, limit);
        if (absolute) {
            if (bangSlash(part) < 0) {
                throw new IllegalArgumentException("no !/ in spec");
            }
            file = part;
        } else if (!refOnly) {
            String context = url.getFile();
            int root = bangSlash(context);
            if (root < 0) {
                throw new IllegalArgumentException("malformed context url: " + url);
            }
            if (part.startsWith("/")) {
                file = context.substring(0, root) + part;
            } else {
                file = context.substring(0, context.lastIndexOf('/') + 1) + part;
            }
            root = bangSlash(file);
            file = file.substring(0, root) + canonize(file.substring(root));
        }
        return new String[] {file, ref};
    }

    /** The position of the "/" of the last "!/", or -1. */
    private static int bangSlash(String s) {
        int bang = s.length();
        while ((bang = s.lastIndexOf('!', bang)) != -1) {
            if (bang != s.length() - 1 && s.charAt(bang + 1) == '/') {
                return bang + 1;
            }
            bang--;
        }
        return -1;
    }

    /** Removes "." and ".." steps from a path that starts with "/"; ".." never leaves the root. */
    static String canonize(String path) {
        int i;
        while ((i = path.indexOf("/./")) >= 0) {
            path = path.substring(0, i) + path.substring(i + 2);
        }
        while ((i = path.indexOf("/../")) >= 0) {
            int before = path.lastIndexOf('/', i - 1);
            path = before >= 0 ? path.substring(0, before) + path.substring(i + 3) : path.substring(i + 3);
        }
        if (path.endsWith("/.")) {
            path = path.substring(0, path.length() - 1);
        }
        if (path.endsWith("/..")) {
            i = path.length() - 3;
            int before = path.lastIndexOf('/', i - 1);
            path = before >= 0 ? path.substring(0, before + 1) : "/";
        }
        return path;
    }
}
