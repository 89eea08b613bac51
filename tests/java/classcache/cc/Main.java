package cc;

// Prints where its class came from, says goodbye from a shutdown hook, and ends through
// System.exit(3) when its first argument is "exit".
public class Main {
  public static void main(String[] args) {
    Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.println("hook")));
    System.out.println("from " + Main.class.getProtectionDomain().getCodeSource().getLocation());
    System.out.println("resource " + Main.class.getResource("/cc/Main.class"));
    System.err.println("main done");
    if (args.length > 0 && args[0].equals("exit")) System.exit(3);
  }
}
