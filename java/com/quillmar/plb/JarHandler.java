package com.quillmar.plb;

import java.io.IOException;
import java.net.MalformedURLException;
import java.net.Proxy;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;

/**
 * The process's "jar:" handler once the loader hands out nested jars, so that a "jar:plb:" URL
 * made again from its text (new URL(url.toString()), uri.toURL(), a spec resolved against
 * another URL) is still read in place. Every other "jar:" URL is made and opened by the
 * runtime's own handler, so it behaves exactly as without us: same parsing, caching, errors
 * and connections.
 */
final class JarHandler extends URLStreamHandler {
    private final URLStreamHandler runtime;

    JarHandler(URLStreamHandler runtime) {
        this.runtime = runtime;
    }

    private static boolean nested(URL url) {
        String file = url.getFile();
        return file != null && file.regionMatches(true, 0, "plb:", 0, 4);
    }

    /** The same URL made by the runtime's handler. */
    private URL runtimes(URL url) throws MalformedURLException {
        return new URL(null, url.toExternalForm(), runtime);
    }

    protected URLConnection openConnection(URL url) throws IOException {
        return nested(url) ? JarUrls.open(url) : runtimes(url).openConnection();
    }

    protected URLConnection openConnection(URL url, Proxy proxy) throws IOException {
        return nested(url) ? JarUrls.open(url) : runtimes(url).openConnection(proxy);
    }

    protected void parseURL(URL url, String spec, int start, int limit) {
        String[] fileAndRef = null;
        try {
            fileAndRef = JarUrls.parse(url, spec, start, limit);
        } catch (IllegalArgumentException e) {
            // not ours to judge: the runtime's handler gives its own answer below
        }
        if (fileAndRef != null && fileAndRef[0] != null && fileAndRef[0].regionMatches(true, 0, "plb:", 0, 4)) {
            setURL(url, "jar", "", -1, fileAndRef[0], fileAndRef[1]);
            return;
        }
        URL made;
        try {
            String context = url.getFile();
            made = new URL(context == null || context.length() == 0 ? null : runtimes(url), spec, runtime);
        } catch (MalformedURLException e) {
            throw new IllegalArgumentException(e.getMessage(), e);  // the URL constructor's message
        }
        setURL(url, "jar", made.getHost(), made.getPort(), made.getAuthority(), made.getUserInfo(), made.getPath(),
                made.getQuery(), made.getRef());
    }

    protected boolean sameFile(URL a, URL b) {
        try {
            return nested(a) || nested(b) ? super.sameFile(a, b) : runtimes(a).sameFile(runtimes(b));
        } catch (MalformedURLException e) {
            return super.sameFile(a, b);
        }
    }

    protected int hashCode(URL url) {
        try {
            return nested(url) ? super.hashCode(url) : runtimes(url).hashCode();
        } catch (MalformedURLException e) {
            return super.hashCode(url);
        }
    }
}
