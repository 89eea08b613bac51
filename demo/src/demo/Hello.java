package demo;

/** The sample application that the demo wraps. */
public class Hello {
    public static void main(String[] args) {
        System.out.println("Hello from a Plumbox-wrapped application on Java "
                + System.getProperty("java.version"));
        for (String arg : args) {
            System.out.println("  argument: " + arg);
        }
        System.out.println("  running from: " + System.getProperty("plb.app.path"));
    }
}
