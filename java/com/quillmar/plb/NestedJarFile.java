package com.quillmar.plb;

import java.io.ByteArrayInputStream;
import java.io.EOFException;
import java.io.File;
import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.nio.file.attribute.FileTime;
import java.util.ArrayList;
import java.util.Date;
import java.util.Enumeration;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.NoSuchElementException;
import java.util.jar.Attributes;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.jar.Manifest;
import java.util.stream.Stream;
import java.util.zip.DataFormatException;
import java.util.zip.Inflater;
import java.util.zip.ZipEntry;
import java.util.zip.ZipException;
import java.util.zip.ZipFile;

/**
 * A jar nested in the executable, read in place by the launcher: entries are looked up and
 * read straight out of the executable's mapping, nothing is copied to disk. The JarFile base
 * is opened over the executable itself (a ZIP archive, and already open for the support
 * classes), so that its own state is that of a valid open file; every lookup, listing and
 * read is answered from the nested jar. Entries are not verified against signatures.
 */
public class NestedJarFile extends JarFile {
    static {
        PlumboxClassLoader.bindLauncher(NestedJarFile.class);
    }

    /** The views that connections with caches share: archive path, "#runtime" or not. */
    private static final HashMap<String, NestedJarFile> SHARED = new HashMap<String, NestedJarFile>();

    private final String path;
    private final int id;
    private final int version;  // the runtime's feature version for versioned lookups; 0: none

    /** The runtime's feature version from 9 on; 0 before, where jars have no versions. */
    private static final int FEATURE = JarUrls.featureVersion();
    private Manifest manifest;
    private boolean manifestRead;
    private volatile boolean closed;

    private NestedJarFile(String path, int id, boolean runtime) throws IOException {
        super(executable(), false, ZipFile.OPEN_READ);
        this.path = path;
        this.id = id;
        this.version = runtime ? FEATURE : 0;  // the launcher applies it to multi-release jars only
        // isMultiRelease() is final and would read the executable's own manifest: the
        // launcher gives the base the nested jar's answer instead.
        useOwnManifestAnswer(this, id);
    }

    /**
     * The nested jar at an archive path (the text of its "plb:" URL after the scheme), shared
     * or of the caller's own; "#runtime" views serve the versions of a multi-release jar.
     */
    static NestedJarFile open(String path, boolean runtime, boolean shared) throws IOException {
        if (!shared) {
            return create(path, runtime);
        }
        String key = runtime ? path + "#runtime" : path;
        synchronized (SHARED) {
            NestedJarFile jar = SHARED.get(key);
            if (jar == null || jar.closed) {
                jar = create(path, runtime);
                SHARED.put(key, jar);
            }
            return jar;
        }
    }

    private static NestedJarFile create(String path, boolean runtime) throws IOException {
        int id = openArchive(path);
        if (id < 0) {
            throw new FileNotFoundException("plb:" + path);
        }
        return new NestedJarFile(path, id, runtime);
    }

    private static File executable() throws IOException {
        String app = System.getProperty("plb.app.path");
        if (app == null) {
            throw new FileNotFoundException("plb.app.path is not set");
        }
        return new File(app);
    }

    /** The archive path this view reads. */
    String archivePath() {
        return path;
    }

    long archiveSize() {
        return archiveSize(id);
    }

    public JarEntry getJarEntry(String name) {
        return lookup(name, version);
    }

    public ZipEntry getEntry(String name) {
        return lookup(name, version);
    }

    /** The entry as a class loader sees it: the runtime's version of a multi-release jar. */
    JarEntry getVersionedEntry(String name) {
        return lookup(name, FEATURE);
    }

    private JarEntry lookup(String name, int v) {
        if (name == null) {
            throw new NullPointerException("name");
        }
        ensureOpen();
        if (name.equals(INDEX_NAME) && askedByJarIndex()) {
            return null;
        }
        long[] e = findEntry(id, name, v);
        if (e == null) {
            return null;
        }
        String base = e[7] != 0 ? name + "/" : name;
        String real = e[6] > 0 ? "META-INF/versions/" + e[6] + "/" + base : base;
        return new Entry(this, base, real, (int) e[0], e, 1);
    }

    public Enumeration<JarEntry> entries() {
        ensureOpen();
        final String[] names = entryNames(id);
        final long[] table = entryTable(id);
        return new Enumeration<JarEntry>() {
            private int next;

            public boolean hasMoreElements() {
                return names != null && next < names.length;
            }

            public JarEntry nextElement() {
                ensureOpen();
                if (!hasMoreElements()) {
                    throw new NoSuchElementException();
                }
                int i = next++;
                return new Entry(NestedJarFile.this, names[i], names[i], i, table, i * ROW);
            }
        };
    }

    public Stream<JarEntry> stream() {
        ArrayList<JarEntry> all = new ArrayList<JarEntry>();
        for (Enumeration<JarEntry> e = entries(); e.hasMoreElements();) {
            all.add(e.nextElement());
        }
        return all.stream();
    }

    /** Base names, each once, as the runtime's version of the jar presents them. */
    public Stream<JarEntry> versionedStream() {
        Manifest m = version == 0 ? null : readManifest();
        String multiRelease = m == null ? null : m.getMainAttributes().getValue("Multi-Release");
        if (multiRelease == null || !"true".equalsIgnoreCase(multiRelease.trim())) {
            return stream();
        }
        LinkedHashSet<String> names = new LinkedHashSet<String>();
        String[] all = entryNames(id);
        for (int i = 0; all != null && i < all.length; i++) {
            String base = baseName(all[i]);
            if (base != null) {
                names.add(base);
            }
        }
        ArrayList<JarEntry> entries = new ArrayList<JarEntry>();
        for (String name : names) {
            JarEntry e = getJarEntry(name);
            if (e != null) {
                entries.add(e);
            }
        }
        return entries.stream();
    }

    /** The base name of an entry; null for entries of versions this runtime does not use. */
    private String baseName(String name) {
        String prefix = "META-INF/versions/";
        if (!name.startsWith(prefix)) {
            return name;
        }
        int slash = name.indexOf('/', prefix.length());
        if (slash < 0) {
            return null;
        }
        try {
            int v = Integer.parseInt(name.substring(prefix.length(), slash));
            return v <= version && slash + 1 < name.length() ? name.substring(slash + 1) : null;
        } catch (NumberFormatException e) {
            return name;
        }
    }

    public InputStream getInputStream(ZipEntry ze) throws IOException {
        ensureOpen();
        Entry e = ze instanceof Entry && ((Entry) ze).jar.id == id ? (Entry) ze : (Entry) lookup(ze.getName(), version);
        if (e == null) {
            return null;
        }
        if (e.getSize() > STREAMED) {
            return new EntryStream(this, e);
        }
        byte[] bytes = readEntry(id, e.index);
        if (bytes == null) {
            throw new ZipException("invalid entry data or CRC-32: " + e.getRealName() + " in plb:" + path);
        }
        return new ByteArrayInputStream(bytes);
    }

    public Manifest getManifest() throws IOException {
        ensureOpen();
        return readManifest();
    }

    private synchronized Manifest readManifest() {
        if (!manifestRead) {
            manifestRead = true;
            JarEntry e = lookup(MANIFEST_NAME, 0);
            if (e != null) {
                byte[] bytes = readEntry(id, ((Entry) e).index);
                try {
                    manifest = bytes == null ? null : new Manifest(new ByteArrayInputStream(bytes));
                } catch (IOException damaged) {
                    manifest = null;
                }
            }
        }
        return manifest;
    }

    public int size() {
        ensureOpen();
        String[] names = entryNames(id);
        return names == null ? 0 : names.length;
    }

    public String getComment() {
        ensureOpen();
        return null;
    }

    public void close() throws IOException {
        closed = true;
        super.close();
    }

    private void ensureOpen() {
        if (closed) {
            throw new IllegalStateException("zip file closed");
        }
    }

    /**
     * A jar index is not shown to the runtime's class path, which reads it through its JarIndex.
     * The class path follows an index's jar names relative to the jar's URL; when it names the
     * jar itself, every lookup that misses merges the whole index into itself again. Every
     * nested jar is on the class path already, so an index finds nothing the class path does not.
     * To everyone else the index is an entry like any other.
     */
    private static final String INDEX_NAME = "META-INF/INDEX.LIST";

    private static boolean askedByJarIndex() {
        for (StackTraceElement frame : new Throwable().getStackTrace()) {
            if (frame.getClassName().endsWith(".JarIndex")) {
                return true;
            }
        }
        return false;
    }

    /** Values per entry in the launcher's entry table. */
    private static final int ROW = 5;

    /** An entry of a nested jar, with its number in the archive and its name there. */
    static final class Entry extends JarEntry {
        final NestedJarFile jar;
        final int index;
        private final String realName;

        /** Values from `info` at `at`: size, compressed size, CRC-32, DOS date and time, method. */
        Entry(NestedJarFile jar, String name, String realName, int index, long[] info, int at) {
            super(name);
            this.jar = jar;
            this.realName = realName;
            this.index = index;
            setSize(info[at]);
            setCompressedSize(info[at + 1]);
            setCrc(info[at + 2]);
            dosTime = info[at + 3];
            int method = (int) info[at + 4];
            if (method == STORED || method == DEFLATED) {
                setMethod(method);
            }
        }

        /** The DOS time of the entry, turned into Java time only when asked (that takes the zone rules). */
        private long dosTime;

        public long getTime() {
            if (dosTime != 0) {
                setTime(javaTime(dosTime));
                dosTime = 0;
            }
            return super.getTime();
        }

        public FileTime getLastModifiedTime() {
            getTime();
            return super.getLastModifiedTime();
        }

        public String getRealName() {
            return realName;
        }

        public Attributes getAttributes() throws IOException {
            Manifest m = jar.getManifest();
            return m == null ? null : m.getAttributes(getName());
        }

        @SuppressWarnings("deprecation")
        private static long javaTime(long dos) {
            return new Date((int) ((dos >> 25) & 0x7f) + 80, (int) ((dos >> 21) & 0x0f) - 1, (int) ((dos >> 16) & 0x1f),
                    (int) ((dos >> 11) & 0x1f), (int) ((dos >> 5) & 0x3f), (int) ((dos << 1) & 0x3e)).getTime();
        }
    }

    /**
     * Sets the base's multi-release state to the nested jar's (multi-release when its manifest
     * says so and it has versioned entries), so that the base never reads the manifest of the
     * executable it is opened over.
     */
    private static native void useOwnManifestAnswer(JarFile jar, int id);

    /** The launcher's handle of the nested archive at this path, or -1. */
    private static native int openArchive(String path);

    private static native long archiveSize(int id);

    /**
     * Entry number, size, compressed size, CRC-32, DOS date and time, method, the version it
     * was found under (0: the base) and 1 when only the name with a "/" added was found; null
     * when missing.
     */
    private static native long[] findEntry(int id, String name, int version);

    /** Every entry's name, in the archive's order. */
    private static native String[] entryNames(int id);

    /** Five values per entry, in the order of entryNames. */
    private static native long[] entryTable(int id);

    /** The bytes of an entry, its CRC-32 checked; null when it is damaged. */
    private static native byte[] readEntry(int id, int index);

    /** Where the compressed data of an entry starts in its archive; -1 when it is damaged. */
    private static native long entryData(int id, int index);

    /** Copies len bytes of the archive from pos on; false when they are not all there. */
    private static native boolean readRaw(int id, long pos, byte[] b, int off, int len);

    /**
     * Entries larger than this are read as they are consumed, as the runtime reads them, instead
     * of whole into one array: a large resource then costs no more memory than under the runtime,
     * and one of 2 GiB or more can be read at all.
     */
    private static final long STREAMED = 1 << 20;

    /**
     * The data of a large entry: its stored bytes, or inflated from its compressed bytes as the
     * runtime's ZipFile inflates them (no CRC-32 check, as there).
     */
    static final class EntryStream extends InputStream {
        private final NestedJarFile jar;
        private final long end;       // the end of the compressed data in the archive
        private long pos;             // the next compressed byte to read
        private long left;            // bytes of the entry still to come
        private final Inflater inflater;
        private final byte[] input = new byte[65536];
        private final byte[] one = new byte[1];
        private boolean dummyGiven;
        private boolean closed;

        EntryStream(NestedJarFile jar, Entry e) throws IOException {
            this.jar = jar;
            long start = entryData(jar.id, e.index);
            if (start < 0) {
                throw new ZipException("invalid entry data: " + e.getRealName() + " in plb:" + jar.path);
            }
            pos = start;
            end = start + e.getCompressedSize();
            left = e.getSize();
            inflater = e.getMethod() == ZipEntry.DEFLATED ? new Inflater(true) : null;
        }

        public int read() throws IOException {
            return read(one, 0, 1) == 1 ? one[0] & 0xFF : -1;
        }

        public int read(byte[] b, int off, int len) throws IOException {
            if (closed) {
                throw new IOException("Stream closed");
            }
            if (off < 0 || len < 0 || len > b.length - off) {
                throw new IndexOutOfBoundsException();
            }
            if (len == 0) {
                return 0;
            }
            if (left <= 0) {
                return -1;
            }
            int n;
            if (inflater == null) {
                n = (int) Math.min(len, Math.min(left, end - pos));
                if (n <= 0 || !readRaw(jar.id, pos, b, off, n)) {
                    throw new ZipException("invalid entry data in plb:" + jar.path);
                }
                pos += n;
            } else {
                n = inflate(b, off, (int) Math.min(len, left));
            }
            left -= n;
            return n;
        }

        private int inflate(byte[] b, int off, int len) throws IOException {
            try {
                int n;
                while ((n = inflater.inflate(b, off, len)) == 0) {
                    if (inflater.finished() || inflater.needsDictionary()) {
                        throw new ZipException("invalid entry data in plb:" + jar.path);
                    }
                    if (inflater.needsInput()) {
                        fill();
                    }
                }
                return n;
            } catch (DataFormatException e) {
                String s = e.getMessage();
                throw new ZipException(s != null ? s : "Invalid ZLIB data format");
            }
        }

        private void fill() throws IOException {
            int n = (int) Math.min(input.length, end - pos);
            if (n <= 0) {
                if (dummyGiven) {
                    throw new EOFException("Unexpected end of ZLIB input stream");
                }
                // As the runtime does: one byte more than the data, which a raw inflater may ask for.
                dummyGiven = true;
                input[0] = 0;
                inflater.setInput(input, 0, 1);
                return;
            }
            if (!readRaw(jar.id, pos, input, 0, n)) {
                throw new ZipException("invalid entry data in plb:" + jar.path);
            }
            pos += n;
            inflater.setInput(input, 0, n);
        }

        public long skip(long n) throws IOException {
            byte[] scratch = new byte[8192];
            long skipped = 0;
            while (skipped < n) {
                int r = read(scratch, 0, (int) Math.min(scratch.length, n - skipped));
                if (r < 0) {
                    break;
                }
                skipped += r;
            }
            return skipped;
        }

        public int available() throws IOException {
            return closed ? 0 : (int) Math.min(left, Integer.MAX_VALUE);
        }

        public void close() {
            if (!closed) {
                closed = true;
                if (inflater != null) {
                    inflater.end();
                }
            }
        }
    }
}
