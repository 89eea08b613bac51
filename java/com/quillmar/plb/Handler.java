package com.quillmar.plb;

import java.io.ByteArrayInputStream;
import java.io.InputStream;
import java.lang.ref.SoftReference;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.util.Hashtable;

/** The "plb:" protocol: the bytes behind a URL come from the launcher's loadResourceData. */
public class Handler extends URLStreamHandler {
    /** URL string form to a soft reference to the bytes last loaded for it. */
    protected static Hashtable<String, SoftReference<byte[]>> loadedData;

    static {
        loadedData = new Hashtable<String, SoftReference<byte[]>>();
        PlumboxClassLoader.bindLauncher(Handler.class);
    }

    public Handler() {
    }

    /**
     * The connection goes out through a cast from Object: the verifier then has no need to
     * load the connection classes when the VM links this class at start, only when the first
     * connection is opened.
     */
    protected URLConnection openConnection(URL url) {
        final String form = url.toString();
        return (URLConnection) (Object) new URLConnection(url) {
            public void connect() {
            }

            public InputStream getInputStream() {
                byte[] bytes = null;
                SoftReference<byte[]> cached = loadedData.get(form);
                if (cached != null) {
                    bytes = cached.get();
                }
                if (bytes == null) {
                    bytes = loadResourceData(form);
                    loadedData.put(form, new SoftReference<byte[]>(bytes));
                }
                return bytes == null ? null : new ByteArrayInputStream(bytes);
            }

            public String getContentType() {
                return guessContentTypeFromName(form);
            }
        };
    }

    protected native byte[] loadResourceData(String url);
}
