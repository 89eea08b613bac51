package com.quillmar.plb;

import java.io.File;
import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.JarURLConnection;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

/**
 * A connection to "jar:plb:ARCHIVE!/ENTRY", served by a NestedJarFile. Entries of a
 * multi-release jar are read in the runtime's version, as the class loader reads them. With
 * caches off the connection has a jar view of its own, closed with its input stream.
 */
final class NestedJarConnection extends JarURLConnection {
    private final String archive;
    private final boolean runtime;
    private NestedJarFile jar;
    private JarEntry entry;

    NestedJarConnection(URL url) throws MalformedURLException {
        super(url);
        archive = getJarFileURL().getFile();
        runtime = "runtime".equals(url.getRef());
    }

    public void connect() throws IOException {
        if (connected) {
            return;
        }
        NestedJarFile j = NestedJarFile.open(archive, runtime, getUseCaches());
        String name = getEntryName();
        if (name != null) {
            entry = j.getVersionedEntry(name);
            if (entry == null) {
                if (!getUseCaches()) {
                    j.close();
                }
                throw JarUrls.entryNotFound(name, "plb:" + archive);
            }
        }
        jar = j;
        connected = true;
    }

    public JarFile getJarFile() throws IOException {
        connect();
        return jar;
    }

    public JarEntry getJarEntry() throws IOException {
        connect();
        return entry;
    }

    public InputStream getInputStream() throws IOException {
        connect();
        if (entry == null) {
            throw new IOException("no entry name specified");
        }
        InputStream in = jar.getInputStream(entry);
        if (getUseCaches()) {
            return in;
        }
        final NestedJarFile own = jar;
        return new FilterInputStream(in) {
            public void close() throws IOException {
                try {
                    super.close();
                } finally {
                    own.close();
                }
            }
        };
    }

    public long getContentLengthLong() {
        try {
            connect();
        } catch (IOException e) {
            return -1;
        }
        return entry != null ? entry.getSize() : jar.archiveSize();
    }

    public int getContentLength() {
        long n = getContentLengthLong();
        return n > Integer.MAX_VALUE ? -1 : (int) n;
    }

    public String getContentType() {
        String name = getEntryName();
        if (name == null) {
            return "x-java/jar";
        }
        String type = guessContentTypeFromName(name);
        return type != null ? type : "content/unknown";
    }

    /** The time of the file that holds the jar: the executable, as the runtime tells a jar's. */
    public long getLastModified() {
        String app = System.getProperty("plb.app.path");
        return app == null ? 0 : new File(app).lastModified();
    }

    public long getHeaderFieldDate(String name, long otherwise) {
        return "last-modified".equalsIgnoreCase(name) ? getLastModified() : otherwise;
    }

    public String getHeaderField(String name) {
        if ("content-length".equalsIgnoreCase(name)) {
            long n = getContentLengthLong();
            return n < 0 ? null : String.valueOf(n);
        }
        if ("content-type".equalsIgnoreCase(name)) {
            return getContentType();
        }
        return null;
    }
}
