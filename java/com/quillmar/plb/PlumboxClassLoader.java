package com.quillmar.plb;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.net.JarURLConnection;
import java.net.URL;
import java.net.URLClassLoader;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.net.URLStreamHandlerFactory;
import java.security.CodeSigner;
import java.security.CodeSource;
import java.security.ProtectionDomain;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.jar.Manifest;

/**
 * The application's class loader: classes and resources come out of the launcher's own
 * executable through the launcher's natives, the nested jars are handed to URLClassLoader as
 * "plb:" URLs, and "plb.class.path" adds the jars and directories on disk.
 */
public class PlumboxClassLoader extends URLClassLoader {
    static {
        bindLauncher(PlumboxClassLoader.class);
    }

    /** The domain of the classes of the executable's archives; made on first use. */
    private ProtectionDomain executableDomain;

    /** Set by getPlbClassPath when it hands out nested jars: the class path's "jar:" handler. */
    private static URLStreamHandlerFactory nestedJars;

    public PlumboxClassLoader() {
        super(getPlbClassPath(), ClassLoader.getSystemClassLoader(), nestedJars);
    }

    public PlumboxClassLoader(ClassLoader parent) {
        super(getPlbClassPath(), parent, nestedJars);
    }

    /**
     * Binds the natives of a support class to the launcher's exports. The launcher usually
     * binds this class's natives before it runs, and then binds those of the other classes
     * when asked. Otherwise the launcher is loaded as a library: on Windows the executable
     * itself. On Linux a running executable cannot be loaded a second time, so the launcher
     * exports JNI_OnLoad_plumbox and the runtime binds a library named libplumbox.so to the
     * symbols of the process itself; no such file exists.
     */
    static void bindLauncher(Class<?> cls) {
        try {
            if (bindNatives(cls)) {
                return;
            }
        } catch (LinkageError notYet) {  // UnsatisfiedLinkError: loaded below
        }
        String app = System.getProperty("plb.app.path");
        if (app == null) {
            return;
        }
        if (File.separatorChar == '\\') {
            System.load(app);
        } else {
            File dir = new File(app).getAbsoluteFile().getParentFile();
            System.load(new File(dir, "libplumbox.so").getPath());
        }
    }

    /**
     * A new "plb:" handler, handed out through a cast from Object: the verifier then has no
     * need to load the handler's class when the VM links this class at start, only when one is
     * made (an executable without nested jars never needs it).
     */
    private static URLStreamHandler plbHandler() {
        return (URLStreamHandler) (Object) new Handler();
    }

    /**
     * The nested jars of the executable as "plb:" URLs, then one file URL per element of
     * "plb.class.path". The "plb:" URLs carry their handler: while the VM constructs this
     * loader as its system class loader, the handler cannot be found by protocol name. With
     * nested jars, the loader's "jar:" URLs get the handler that reads them in place.
     */
    protected static URL[] getPlbClassPath() {
        ArrayList<URL> urls = new ArrayList<URL>();
        try {
            String[] jars = getEmbeddedJars();
            URLStreamHandler handler = jars.length > 0 ? plbHandler() : null;
            if (handler != null) {
                nestedJars = (URLStreamHandlerFactory) handler;
                exchangeHandler("plb", null, handler);
                installJarHandler();
            }
            for (int i = 0; i < jars.length; i++) {
                urls.add(new URL(null, jars[i], handler));
            }
        } catch (IOException e) {
            e.printStackTrace();
        }
        String path = System.getProperty("plb.class.path");
        if (path != null) {
            String[] elements = path.split(File.pathSeparator);
            for (int i = 0; i < elements.length; i++) {
                if (elements[i].length() == 0) {
                    continue;
                }
                try {
                    urls.add(new File(elements[i]).toURI().toURL());
                } catch (IOException e) {  // a MalformedURLException
                    e.printStackTrace();
                }
            }
        }
        return urls.toArray(new URL[urls.size()]);
    }

    /**
     * Makes JarHandler the handler of "jar:" URLs made from text. The runtime looks up the
     * handler of a protocol once and keeps it for the process, and it asks
     * "java.protocol.handler.pkgs" only once it has booted: a "jar:" URL made before (its own
     * class loader may make one) fixes its built-in handler for good. So the built-in handler
     * is made now, if it is not yet, taken from the runtime's table to serve every "jar:" URL
     * that is not ours, and JarHandler takes its place there.
     */
    private static void installJarHandler() {
        URLStreamHandler runtime = exchangeHandler("jar", null, null);
        if (runtime == null) {
            try {
                new URL("jar:file:/!/");
            } catch (IOException e) {  // a MalformedURLException: not for this spec
            }
            runtime = exchangeHandler("jar", null, null);
        }
        if (runtime != null) {
            exchangeHandler("jar", runtime, (URLStreamHandler) (Object) new JarHandler(runtime));
        }
    }

    protected Class<?> findClass(String name) throws ClassNotFoundException {
        if (isForeignProtocolHandler(name)) {
            throw new ClassNotFoundException(name);
        }
        int dot = name.lastIndexOf('.');
        if (dot > 0) {
            String pkg = name.substring(0, dot);
            if (getPackage(pkg) == null) {
                definePackageFor(pkg, name);
            }
        }
        Class<?> c;
        try {
            c = defineClass(name);
        } catch (Throwable t) {
            throw new ClassNotFoundException(name, t);
        }
        if (c != null) {
            return c;
        }
        return super.findClass(name);
    }

    /**
     * With "java.protocol.handler.pkgs" naming our package, the runtime asks the system class
     * loader for "com.quillmar.PROTOCOL.Handler" the first time it meets a protocol, also while
     * this loader opens its own class path ("jar:", "file:"). Only "plb" has a handler here;
     * searching the class path for the others would reenter the class path being opened.
     */
    private static boolean isForeignProtocolHandler(String name) {
        if (!name.startsWith("com.quillmar.") || !name.endsWith(".Handler")) {
            return false;
        }
        String protocol = name.substring(13, name.length() - 8);
        return protocol.indexOf('.') < 0 && !protocol.equals("plb");
    }

    /**
     * Defines the package from the manifest of the archive that holds the class file, before
     * the class is defined; nothing when no archive holds it (a missing class must not leave
     * its package defined without attributes).
     */
    private void definePackageFor(String pkg, String className) {
        URL classUrl = findResource(className.replace('.', '/') + ".class");
        if (classUrl == null) {
            return;
        }
        Manifest manifest = null;
        URL base = null;
        try {
            if ("plb".equals(classUrl.getProtocol())) {
                String s = classUrl.toString();
                String baseText = s.substring(0, Math.max(s.lastIndexOf(':'), s.lastIndexOf('!')) + 1);
                base = new URL(null, baseText, plbHandler());
                manifest = readManifest(new URL(null, baseText + "META-INF/MANIFEST.MF", plbHandler()));
            } else {
                URLConnection c = classUrl.openConnection();
                if (c instanceof JarURLConnection) {
                    JarURLConnection jar = (JarURLConnection) c;
                    base = jar.getJarFileURL();
                    manifest = jar.getManifest();
                }
            }
        } catch (IOException e) {
            manifest = null;
        } catch (RuntimeException e) {
            manifest = null;
        }
        try {
            if (manifest != null) {
                definePackage(pkg, manifest, base);
            } else {
                definePackage(pkg, null, null, null, null, null, null, null);
            }
        } catch (IllegalArgumentException alreadyDefined) {
            // another thread defined it first
        }
    }

    private static Manifest readManifest(URL url) {
        InputStream in = null;
        try {
            in = url.openStream();
            if (in == null) {
                return null;
            }
            Manifest m = new Manifest(in);
            return m.getMainAttributes().isEmpty() && m.getEntries().isEmpty() ? null : m;
        } catch (IOException e) {
            return null;
        } catch (RuntimeException e) {
            return null;
        } finally {
            if (in != null) {
                try {
                    in.close();
                } catch (IOException ignored) {
                    // nothing to do
                }
            }
        }
    }

    /**
     * Classes read out of the executable come from the executable's own file, as the classes
     * of a jar run by "java -jar" come from the jar: their code source is its file URL.
     */
    private ProtectionDomain executableDomain() {
        ProtectionDomain domain = executableDomain;
        if (domain == null) {
            domain = new ProtectionDomain(new CodeSource(executableLocation(), (CodeSigner[]) null), null, this, null);
            executableDomain = domain;
        }
        return domain;
    }

    /**
     * The executable's file URL, as the runtime's class loader made it for this class, which it
     * read from the executable's top level; made from "plb.app.path" otherwise.
     */
    private static URL executableLocation() {
        CodeSource own = PlumboxClassLoader.class.getProtectionDomain().getCodeSource();
        if (own != null && own.getLocation() != null) {
            return own.getLocation();
        }
        String app = System.getProperty("plb.app.path");
        try {
            return app == null ? null : new File(app).toURI().toURL();
        } catch (IOException e) {  // a MalformedURLException: no location then
            return null;
        }
    }

    protected native Class<?> defineClass(String name);

    public native URL findResource(String name);

    public native Enumeration<URL> findResources(String name) throws IOException;

    protected static native String[] getEmbeddedJars();

    /** Binds the class's natives; false when the launcher does not know the class. */
    private static native boolean bindNatives(Class<?> cls);

    /**
     * The handler that the runtime keeps for URLs of the protocol made from text (null when it
     * has none or its table cannot be read). With a replacement, that one takes the place of
     * `expected`, or with `expected` null becomes the protocol's handler unless it has one: the
     * runtime then finds it without looking it up by name (a lookup that first searches the
     * class path for handler providers).
     */
    private static native URLStreamHandler exchangeHandler(String protocol, URLStreamHandler expected,
            URLStreamHandler replacement);
}
