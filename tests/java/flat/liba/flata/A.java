package flata;

public class A implements flat.Plugin {
    public String name() {
        return "A";
    }
}
