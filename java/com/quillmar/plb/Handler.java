package com.quillmar.plb;

import java.io.ByteArrayInputStream;
import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.lang.ref.SoftReference;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.net.URLStreamHandlerFactory;
import java.util.Hashtable;

/**
 * The "plb:" protocol: the bytes behind a URL come from the launcher's loadResourceData.
 * As the factory of the class loader's URLs, the handler also makes and opens its "jar:"
 * URLs, through JarUrls.
 */
public class Handler extends URLStreamHandler implements URLStreamHandlerFactory {
    /** URL string form to a soft reference to the bytes last loaded for it. */
    protected static Hashtable<String, SoftReference<byte[]>> loadedData;

    static {
        loadedData = new Hashtable<String, SoftReference<byte[]>>();
        PlumboxClassLoader.bindLauncher(Handler.class);
    }

    public Handler() {
    }

    public URLStreamHandler createURLStreamHandler(String protocol) {
        return "jar".equals(protocol) ? this : null;
    }

    /**
     * A relative "plb:" URL stays in its archive: it resolves against the entry's directory
     * (or, starting with "/", against the archive's root), and ".." never leaves it.
     */
    protected void parseURL(URL url, String spec, int start, int limit) {
        if ("jar".equals(url.getProtocol())) {
            String[] fileAndRef = JarUrls.parse(url, spec, start, limit);
            setURL(url, "jar", "", -1, fileAndRef[0], fileAndRef[1]);
            return;
        }
        boolean absolute = start >= 4 && spec.regionMatches(true, start - 4, "plb:", 0, 4);
        String context = url.getPath();
        if (absolute || start >= limit || context == null || context.length() == 0) {
            super.parseURL(url, spec, start, limit);
            return;
        }
        int bang = context.lastIndexOf('!');
        String entry = context.substring(bang + 1);
        String part = spec.substring(start, limit);
        String path = part.startsWith("/") ? part : "/" + entry.substring(0, entry.lastIndexOf('/') + 1) + part;
        path = JarUrls.canonize(path);
        if (!entry.startsWith("/")) {
            path = path.substring(1);
        }
        setURL(url, url.getProtocol(), url.getHost(), url.getPort(), context.substring(0, bang + 1) + path, url.getRef());
    }

    /**
     * The connection goes out through a cast from Object: the verifier then has no need to
     * load the connection classes when the VM links this class at start, only when the first
     * connection is opened. Connecting loads the bytes; an entry that is not there is a
     * FileNotFoundException.
     */
    protected URLConnection openConnection(URL url) throws IOException {
        if ("jar".equals(url.getProtocol())) {
            return JarUrls.open(url);
        }
        final String form = url.toString();
        return (URLConnection) (Object) new URLConnection(url) {
            private byte[] bytes;

            public void connect() throws IOException {
                if (bytes != null) {
                    return;
                }
                SoftReference<byte[]> cached = loadedData.get(form);
                byte[] b = cached != null ? cached.get() : null;
                if (b == null) {
                    b = loadResourceData(form);
                    if (b == null) {
                        throw JarUrls.hidesEntryNames() ? JarUrls.entryNotFound(null, null)
                                : new FileNotFoundException(form);
                    }
                    loadedData.put(form, new SoftReference<byte[]>(b));
                }
                bytes = b;
                connected = true;
            }

            public InputStream getInputStream() throws IOException {
                connect();
                return new ByteArrayInputStream(bytes);
            }

            public int getContentLength() {
                try {
                    connect();
                } catch (IOException e) {
                    return -1;
                }
                return bytes.length;
            }

            public long getContentLengthLong() {
                return getContentLength();
            }

            public String getContentType() {
                return guessContentTypeFromName(form);
            }
        };
    }

    protected native byte[] loadResourceData(String url);
}
