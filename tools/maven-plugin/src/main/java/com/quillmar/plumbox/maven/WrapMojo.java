package com.quillmar.plumbox.maven;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.Charset;
import java.util.ArrayList;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.apache.maven.artifact.Artifact;
import org.apache.maven.model.Organization;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;

/**
 * The goal "wrap": runs the installed plumbox tool on the project's jar and its runtime
 * dependencies and attaches the executable it writes to the project.
 *
 * The fields are set by Maven from META-INF/maven/plugin.xml, which names each of them.
 */
public class WrapMojo extends AbstractMojo {
    private static final String LINUX = "linux";
    private static final String WINDOWS = "windows";

    // Set by Maven.
    private MavenProject project;
    private MavenProjectHelper projectHelper;

    private boolean skip;
    private String target;
    private String mainClass;
    private boolean flat;
    private boolean classCache = true;
    private boolean utf8;
    private File config;
    private List<String> sets;
    private File outputFile;
    private String classifier;
    private boolean attach = true;
    private File plumboxHome;
    private File stub;
    private File support;

    // Windows resources; the version texts default to the project's own.
    private File icon;
    private List<File> splashes;
    private File manifest;
    private String fileVersion;
    private String productVersion;
    private String productName;
    private String company;
    private String description;
    private String copyright;
    private List<String> messages;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("plumbox: skipped");
            return;
        }
        if ("pom".equals(project.getPackaging())) {
            getLog().info("plumbox: skipped (a pom project has no jar to wrap)");
            return;
        }
        String targetName = target == null ? "" : target.trim();
        if (!LINUX.equals(targetName) && !WINDOWS.equals(targetName)) {
            throw new MojoFailureException(targetName.isEmpty()
                    ? "plumbox: set <target> to linux or windows (one execution per target)"
                    : "plumbox: unknown target '" + targetName + "' (linux or windows)");
        }
        boolean windows = WINDOWS.equals(targetName);

        File jar = projectJar();
        List<File> libs = runtimeLibraries();
        // Without a main class plumbox takes the jar's Main-Class, unless the configuration names one.
        // plumbox wrap warns when no jar holds it; its warnings are passed on.
        String main = blankToNull(mainClass);

        File out = outputFile != null ? outputFile
                : new File(project.getBuild().getDirectory(),
                        project.getBuild().getFinalName() + (windows ? ".exe" : ""));
        File outDir = out.getAbsoluteFile().getParentFile();
        if (outDir != null && !outDir.isDirectory() && !outDir.mkdirs()) {
            throw new MojoExecutionException("plumbox: cannot create the directory " + outDir);
        }

        List<String> command = new ArrayList<>();
        command.add(findTool().getPath());
        command.add("wrap");
        if (!getLog().isDebugEnabled()) command.add("-q");
        add(command, "--target", targetName);
        add(command, "--jar", jar.getPath());
        add(command, "--main", main);
        if (flat) command.add("--flat");
        if (flat && !classCache) command.add("--no-class-cache");
        if (utf8) command.add("--utf8");
        // The libraries are the project's dependencies, never the jar's own Class-Path.
        command.add("--no-manifest-libs");
        for (File lib : libs) add(command, "--lib", lib.getPath());
        add(command, "--config", config);
        if (sets != null) for (String set : sets) add(command, "--set", set);
        add(command, "--stub", stub);
        add(command, "--support", support);
        if (windows) addWindowsResources(command);
        else noteUnusedWindowsResources();
        add(command, "-o", out.getPath());

        run(command);
        getLog().info("plumbox: wrote " + out + " (" + targetName + ", " + libs.size() + " "
                + (libs.size() == 1 ? "library" : "libraries") + ")");
        if (attach) {
            String cls = blankToNull(classifier);
            if (cls == null) cls = targetName + "-x86_64";
            projectHelper.attachArtifact(project, windows ? "exe" : "bin", cls, out);
        }
    }

    private File projectJar() throws MojoFailureException {
        File file = project.getArtifact() == null ? null : project.getArtifact().getFile();
        if (file == null || !file.isFile()) {
            throw new MojoFailureException("plumbox: the project's jar has not been built; run the wrap goal in"
                    + " the package phase or later (mvn package)");
        }
        return file;
    }

    // The compile and runtime scope artifacts that go on a class path, in Maven's resolution order.
    private List<File> runtimeLibraries() throws MojoFailureException {
        List<File> libs = new ArrayList<>();
        for (Artifact a : project.getArtifacts()) {
            String scope = a.getScope();
            boolean runtime = scope == null || Artifact.SCOPE_COMPILE.equals(scope)
                    || Artifact.SCOPE_RUNTIME.equals(scope);
            if (!runtime || !a.getArtifactHandler().isAddedToClasspath()) continue;
            File file = a.getFile();
            if (file == null || !file.isFile()) {
                throw new MojoFailureException("plumbox: the dependency " + a.getId() + " has no jar"
                        + (file == null ? "" : " (it resolves to " + file + ")")
                        + "; run the build to the package phase so that its jar is built");
            }
            libs.add(file);
        }
        return libs;
    }

    private void addWindowsResources(List<String> command) {
        add(command, "--icon", icon);
        if (splashes != null) for (File s : splashes) add(command, "--splash", s);
        add(command, "--manifest", manifest);
        String version = numericVersion(project.getVersion());
        add(command, "--file-version", orDefault(fileVersion, version));
        add(command, "--product-version", orDefault(productVersion, version));
        String name = blankToNull(project.getName()) != null ? project.getName() : project.getArtifactId();
        add(command, "--product-name", orDefault(productName, oneLine(name)));
        Organization org = project.getOrganization();
        add(command, "--company", orDefault(company, org == null ? null : oneLine(org.getName())));
        add(command, "--description", orDefault(description, oneLine(project.getDescription())));
        add(command, "--copyright", copyright);
        if (messages != null) for (String m : messages) add(command, "--message", m);
    }

    // Linux executables carry no resources. The resource options are often set once for the
    // executions of both targets, so the Linux one leaves them out instead of failing.
    private void noteUnusedWindowsResources() {
        boolean any = icon != null || (splashes != null && !splashes.isEmpty()) || manifest != null
                || blankToNull(fileVersion) != null || blankToNull(productVersion) != null
                || blankToNull(productName) != null || blankToNull(company) != null
                || blankToNull(description) != null || blankToNull(copyright) != null
                || (messages != null && !messages.isEmpty());
        if (any) getLog().debug("plumbox: the Windows resource options are not used for target linux");
    }

    private File findTool() throws MojoExecutionException {
        boolean windowsHost = File.pathSeparatorChar == ';';
        String[] names = windowsHost ? new String[] {"plumbox.exe", "plumbox"} : new String[] {"plumbox"};
        if (plumboxHome != null) {
            for (String n : names) {
                File f = new File(new File(plumboxHome, "bin"), n);
                if (f.isFile()) return f;
            }
            throw new MojoExecutionException("plumbox: no " + names[0] + " in " + new File(plumboxHome, "bin")
                    + " (plumboxHome names the installation prefix, the directory that holds bin/ and share/)");
        }
        String path = System.getenv("PATH");
        if (path != null) {
            for (String dir : path.split(Pattern.quote(File.pathSeparator))) {
                if (dir.isEmpty()) continue;
                for (String n : names) {
                    File f = new File(dir, n);
                    if (f.isFile() && f.canExecute()) return f;
                }
            }
        }
        throw new MojoExecutionException("plumbox: the plumbox tool was not found on PATH; install it, or set"
                + " <plumboxHome> (or -Dplumbox.home) to its installation prefix");
    }

    private void run(List<String> command) throws MojoExecutionException, MojoFailureException {
        if (getLog().isDebugEnabled()) getLog().debug("plumbox: running " + String.join(" ", command));
        ProcessBuilder pb = new ProcessBuilder(command);
        pb.directory(project.getBasedir());
        pb.redirectErrorStream(true);
        StringBuilder output = new StringBuilder();
        int code;
        try {
            Process p = pb.start();
            p.getOutputStream().close();
            try (BufferedReader r = new BufferedReader(
                    new InputStreamReader(p.getInputStream(), Charset.defaultCharset()))) {
                for (String line; (line = r.readLine()) != null;) {
                    output.append(line).append('\n');
                    if (line.contains("warning")) getLog().warn(line);
                    else getLog().info(line);
                }
            }
            code = p.waitFor();
        } catch (IOException e) {
            throw new MojoExecutionException("plumbox: cannot run " + command.get(0) + ": " + e.getMessage(), e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new MojoExecutionException("plumbox: interrupted", e);
        }
        if (code != 0) {
            String text = output.toString().trim();
            throw new MojoFailureException("plumbox wrap failed (exit " + code + ")"
                    + (text.isEmpty() ? "" : ": " + text));
        }
    }

    /** The leading numbers of a version ("1.2.3-SNAPSHOT" gives "1.2.3"), at most four, each up to 65535. */
    static String numericVersion(String version) {
        if (version == null) return null;
        Matcher m = Pattern.compile("^\\d+(\\.\\d+){0,3}").matcher(version.trim());
        if (!m.find()) return null;
        for (String part : m.group().split("\\.")) {
            if (part.length() > 5 || Integer.parseInt(part) > 65535) return null;
        }
        return m.group();
    }

    private static String oneLine(String text) {
        return text == null ? null : blankToNull(text.trim().replaceAll("\\s+", " "));
    }

    private static String blankToNull(String s) {
        return s == null || s.trim().isEmpty() ? null : s;
    }

    private static String orDefault(String value, String fallback) {
        return blankToNull(value) != null ? value : fallback;
    }

    private static void add(List<String> command, String option, String value) {
        if (blankToNull(value) != null) {
            command.add(option);
            command.add(value);
        }
    }

    private static void add(List<String> command, String option, File value) {
        if (value != null) add(command, option, value.getPath());
    }
}
